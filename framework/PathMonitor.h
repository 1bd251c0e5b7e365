// Watches a folder tree for changes on its own thread and runs a change action for each burst
// of changes. Built on inotify: every folder of the tree is watched, and folders that appear
// later are watched as they appear; all events waiting when the thread wakes are taken as one
// change. When the system's watch limit is reached (and cannot be raised), the folders left
// unwatched are covered by a rescan every kRescanInterval, said once in the log. Start and Stop
// from any one controlling thread; the action runs on the monitor's thread and sees the stop event
// signalled when it should end early.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "framework/Event.h"
#include "framework/Thread.h"

namespace OSTREL::File {

class CPathMonitor : public Process::CThreadImpl<CPathMonitor> {
 public:
  // Change filter bits (as the folder-change notification knows them).
  static constexpr uint32_t kChangeFileName = 0x01;
  static constexpr uint32_t kChangeDirName = 0x02;
  static constexpr uint32_t kChangeAttributes = 0x04;
  static constexpr uint32_t kChangeSize = 0x08;
  static constexpr uint32_t kChangeLastWrite = 0x10;

  static constexpr uint32_t kRescanInterval = 60000;

  CPathMonitor() = default;
  ~CPathMonitor() override;

  void SetPath(const std::filesystem::path& path) { path_ = path; }
  const std::filesystem::path& GetPath() const { return path_; }
  void SetFilter(uint32_t filter) { filter_ = filter; }
  void SetWatchSubtree(bool watch) { watchSubtree_ = watch; }
  void SetDelay(uint32_t milliseconds) { delay_ = milliseconds; }

  bool Start() override;
  bool Stop() override;
  // Manual reset; signalled from Stop until the next Start.
  Process::CEvent& StopEvent() { return stopEvent_; }

 protected:
  unsigned Run() override;
  // Runs once after the watches are in place, before the first wait.
  virtual void OnWatching() {}
  virtual void ChangeAction() {}

 private:
  bool AddWatches(const std::filesystem::path& folder);
  // Reads every pending event; true when one passed the filter.
  bool DrainEvents();
  uint32_t InotifyMask() const;

  std::filesystem::path path_;
  uint32_t filter_ = kChangeFileName;
  bool watchSubtree_ = true;
  uint32_t delay_ = 0;
  Process::CEvent stopEvent_{Process::CEvent::Reset::kManual};
  int inotify_ = -1;
  bool limitReached_ = false;
  std::map<int, std::filesystem::path> watches_;
};

}  // namespace OSTREL::File

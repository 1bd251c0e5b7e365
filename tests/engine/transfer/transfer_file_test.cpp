#include <gtest/gtest.h>

#include "engine/transfer/TransferFile.h"

namespace P2P::Shared::File::TransferFile {
namespace {

// The user data of a transfer file, counting its references as the upload and download
// objects do; a call that detaches the file from inside (as another thread may) must still
// find its object alive until the call is over.
struct Counted {
  int references = 1;  // the file's
  bool alive = true;
  CTARNNetTransferFile* file = nullptr;
  bool sawItselfAlive = false;
};

void Retain(void* user) { ++static_cast<Counted*>(user)->references; }
void Release(void* user) {
  auto* counted = static_cast<Counted*>(user);
  if (--counted->references == 0) counted->alive = false;
}
bool SetPath(void* user, const std::string&) {
  auto* counted = static_cast<Counted*>(user);
  counted->file->Detach();  // what a rescan on another thread does meanwhile
  Release(user);            // and the file's reference goes with it
  counted->sawItselfAlive = counted->alive;
  return true;
}

TEST(TransferFileTest, ACallKeepsItsObjectAliveThroughADetach) {
  CTARNNetTransferFile file;
  Counted counted;
  counted.file = &file;
  _tagStructTransferCallbacks table;
  table.setPath = SetPath;
  table.retain = Retain;
  table.release = Release;
  file.Attach(table, &counted);
  EXPECT_TRUE(file.SetPath("/elsewhere"));
  EXPECT_TRUE(counted.sawItselfAlive);
  EXPECT_FALSE(counted.alive);  // released once the call was over
  EXPECT_EQ(counted.references, 0);
  EXPECT_FALSE(file.SetPath("/again"));  // detached: nothing answers
}

}  // namespace
}  // namespace P2P::Shared::File::TransferFile

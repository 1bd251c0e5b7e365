#include <gtest/gtest.h>

#include <list>
#include <string>

#include "engine/hashing/AICHStore.h"
#include "engine/library/AICHDatStore.h"
#include "engine/library/SharedDatFile.h"
#include "framework/XmlDocument.h"
#include "tests/support/Sandbox.h"

namespace P2P {
namespace {

using OSTREL::File::CXmlDocument;
using Shared::File::_tagStructAICHDatEntry;

// The batched writers build the text directly; the DOM writer is the reference layout.
TEST(DataFileLayoutTest, SharedDatTextMatchesTheDomLayoutForAnyName) {
  std::vector<Shared::_tagStructSharedFile> files(3);
  std::string every;
  for (int byte = 1; byte < 256; ++byte) every += static_cast<char>(byte);
  files[0].hash.bytes.fill(0xA5);
  files[0].info.name = every;
  files[0].info.fullPathName = "/s/" + every;
  files[0].info.size = 7;
  files[0].info.creationTime = -5;
  files[0].info.lastWriteTime = 1234567890123;
  files[1].info.name = std::string("cut\0here", 8);
  files[1].info.format = "mp3";
  files[1].info.type = "Audio";
  files[1].info.mediaBitrate = 128;
  files[1].info.mediaAlbum = "A & B <live>";
  files[1].info.mediaLength = "3:12";
  CXmlDocument document;
  ASSERT_TRUE(document.LoadText(std::string(CXmlDocument::kDeclaration) +
                                "\n<SharedFileList>\n</SharedFileList>"));
  for (const auto& file : files) {
    auto entry = document.Root().AppendElement("SharedFile");
    entry.AppendText("Hash", file.hash.ToHex());
    entry.AppendText("Name", file.info.name);
    entry.AppendText("FullPathName", file.info.fullPathName);
    entry.AppendNumber("Size", file.info.size);
    entry.AppendSigned("CreationTime", file.info.creationTime);
    entry.AppendSigned("LastWriteTime", file.info.lastWriteTime);
    if (!file.info.format.empty()) entry.AppendText("Format", file.info.format);
    if (!file.info.type.empty()) entry.AppendText("Type", file.info.type);
    if (file.info.mediaBitrate != 0) entry.AppendNumber("MediaBitrates", file.info.mediaBitrate);
    if (!file.info.mediaAlbum.empty()) entry.AppendText("MediaAlbum", file.info.mediaAlbum);
    if (!file.info.mediaLength.empty()) entry.AppendText("MediaLength", file.info.mediaLength);
  }
  const std::string text = Shared::File::WriteSharedDatText(files);
  EXPECT_EQ(text, document.ToText());
  EXPECT_EQ(Shared::File::WriteSharedDatText({}),
            std::string(CXmlDocument::kDeclaration) + "\n<SharedFileList></SharedFileList>");
  const auto reread = Shared::File::ReadSharedDatText(text);
  ASSERT_EQ(reread.size(), 3u);
  EXPECT_EQ(reread[1].info.mediaAlbum, "A & B <live>");
}

// The loader hands entries out one at a time while releasing the document: the same entries
// as a whole read, and none from a file that is not a whole shared-file list.
TEST(DataFileLayoutTest, SharedDatEntriesOneAtATimeAreTheWholeReadsEntries) {
  tarn::test::Sandbox sandbox;
  std::vector<Shared::_tagStructSharedFile> files(50);
  for (size_t i = 0; i < files.size(); ++i) {
    files[i].hash.bytes.fill(static_cast<uint8_t>(i + 1));
    files[i].info.name = "file" + std::to_string(i) + " & co.txt";
    files[i].info.fullPathName = "/shared/folder/" + files[i].info.name;
    files[i].info.size = static_cast<uint32_t>(100 + i);
    files[i].info.lastWriteTime = static_cast<int64_t>(i) * 1000;
  }
  files[3].info.mediaArtist = "Someone";
  const std::string text = Shared::File::WriteSharedDatText(files);
  sandbox.WriteFile("Shared.dat", text);
  std::vector<Shared::_tagStructSharedFile> taken;
  const auto take = [&taken](Shared::_tagStructSharedFile& file) { taken.push_back(file); };
  EXPECT_TRUE(Shared::File::ForEachSharedDatEntry(sandbox / "Shared.dat", take));
  EXPECT_EQ(taken, Shared::File::ReadSharedDatText(text));
  EXPECT_EQ(taken, files);

  taken.clear();
  sandbox.WriteFile("Shared.dat", text.substr(0, text.size() - 5));
  EXPECT_FALSE(Shared::File::ForEachSharedDatEntry(sandbox / "Shared.dat", take));
  EXPECT_TRUE(taken.empty());
}

TEST(DataFileLayoutTest, AICHDatStoreWritesTheDomLayoutAndKeepsOneEntryPerFile) {
  tarn::test::Sandbox sandbox;
  HASH::CTARNNetAICHTree small(100);
  HASH::_tagStructAICHHash leaf;
  leaf.bytes.fill(0xAB);
  small.Root().SetHash(leaf);
  _tagUnionHash one, two;
  one.bytes.fill(1);
  two.bytes.fill(2);
  // The reference: one DOM holding the entries in their final order. (Reloading the file per
  // tree, as the single-file writer does, loses the layout of the older entries.)
  CXmlDocument dom;
  ASSERT_TRUE(dom.LoadText(std::string(CXmlDocument::kDeclaration) + "<AICHList></AICHList>"));
  for (const _tagUnionHash* hash : {&two, &one}) {
    auto file = dom.Root().AppendElement("File");
    file.AppendText("Hash", hash->ToHex());
    auto block = file.AppendElement("AICHBlock");
    block.AppendNumber("Id", 1);
    block.AppendText("AICH", leaf.ToHex());
  }
  Shared::File::CTARNNetAICHDatStore store(sandbox.Root());
  EXPECT_TRUE(store.Save());  // nothing to write
  EXPECT_FALSE(std::filesystem::exists(sandbox / "AICH.dat"));
  store.Put(one, small);
  store.Put(two, small);
  store.Put(one, small);
  EXPECT_TRUE(store.IsDirty());
  ASSERT_TRUE(store.Save());
  EXPECT_FALSE(store.IsDirty());
  EXPECT_EQ(sandbox.ReadFile("AICH.dat"), dom.ToText());

  // A new store takes the file's entries up before adding its own.
  Shared::File::CTARNNetAICHDatStore later(sandbox.Root());
  _tagUnionHash three;
  three.bytes.fill(3);
  later.Put(three, small);
  EXPECT_TRUE(later.Contains(one) && later.Contains(two) && later.Contains(three));
  ASSERT_TRUE(later.Save());
  std::vector<_tagStructAICHDatEntry> entries;
  ASSERT_TRUE(Shared::File::ReadAICHDatText(sandbox.ReadFile("AICH.dat"), entries));
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[2].fileHash, three);
  EXPECT_EQ(entries[0].nodes, small.ExportStoredNodes());

  // An unreadable file is kept aside, not overwritten.
  sandbox.WriteFile("AICH.dat", "<AICHList><File>");
  Shared::File::CTARNNetAICHDatStore broken(sandbox.Root());
  broken.Put(one, small);
  ASSERT_TRUE(broken.Save());
  EXPECT_EQ(sandbox.ReadFile("AICH.dat.bad"), "<AICHList><File>");
  ASSERT_TRUE(Shared::File::ReadAICHDatText(sandbox.ReadFile("AICH.dat"), entries));
  EXPECT_EQ(entries.size(), 1u);
}

}  // namespace
}  // namespace P2P

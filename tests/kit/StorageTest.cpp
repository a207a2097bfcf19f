// Entries, nodes, attributes, folders, paths, MIME types and volumes on a
// real temporary folder tree.
#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/storage/Mime.h"
#include "kit/storage/Node.h"
#include "kit/storage/Path.h"
#include "kit/storage/Volume.h"
#include "kit/support/TypeConstants.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

class StorageTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		std::string pattern = std::filesystem::temp_directory_path() / "storage-XXXXXX";
		ASSERT_NE(mkdtemp(pattern.data()), nullptr);
		// Canonical, so paths compare with what the kit reports.
		fRoot = std::filesystem::canonical(pattern).string();
	}
	void TearDown() override
	{
		std::error_code ignored;
		std::filesystem::remove_all(fRoot, ignored);
	}

	std::string PathOf(const std::string& name) const { return fRoot + "/" + name; }

	std::string MakeFile(const std::string& name, const std::string& content = "data")
	{
		std::string path = PathOf(name);
		std::ofstream(path, std::ios::binary) << content;
		return path;
	}

	// The raw xattr, or "<missing>".
	static std::string RawXattr(const std::string& path, const std::string& name)
	{
		char buffer[4096];
		ssize_t size = lgetxattr(path.c_str(), name.c_str(), buffer, sizeof(buffer));
		return size < 0 ? std::string("<missing>") : std::string(buffer, size_t(size));
	}

	static std::vector<std::string> AttrNames(BNode& node)
	{
		std::vector<std::string> names;
		char name[B_ATTR_NAME_LENGTH];
		node.RewindAttrs();
		while (node.GetNextAttrName(name) == B_OK)
			names.push_back(name);
		std::sort(names.begin(), names.end());
		return names;
	}

	std::string fRoot;
};

// #pragma mark - attributes

TEST_F(StorageTest, AttributeDataIsExactAndTypeIsKept)
{
	std::string path = MakeFile("song.wav");
	BNode node(path.c_str());
	ASSERT_EQ(node.InitCheck(), B_OK);

	const char title[] = "Hello World";
	EXPECT_EQ(node.WriteAttr("Audio:Title", B_STRING_TYPE, 0, title, sizeof(title)), ssize_t(sizeof(title)));
	EXPECT_EQ(RawXattr(path, "user.Audio:Title"), std::string(title, sizeof(title)));

	int32 key = 0x12345678;
	EXPECT_EQ(node.WriteAttr("CD:key", B_INT32_TYPE, 0, &key, sizeof(key)), ssize_t(sizeof(key)));
	EXPECT_EQ(RawXattr(path, "user.CD:key"), std::string(reinterpret_cast<char*>(&key), sizeof(key)));

	attr_info info;
	ASSERT_EQ(node.GetAttrInfo("Audio:Title", &info), B_OK);
	EXPECT_EQ(info.type, B_STRING_TYPE);
	EXPECT_EQ(info.size, off_t(sizeof(title)));
	ASSERT_EQ(node.GetAttrInfo("CD:key", &info), B_OK);
	EXPECT_EQ(info.type, B_INT32_TYPE);

	// A new write takes the new type and replaces the data.
	EXPECT_EQ(node.WriteAttr("CD:key", B_RAW_TYPE, 0, "ab", 2), 2);
	ASSERT_EQ(node.GetAttrInfo("CD:key", &info), B_OK);
	EXPECT_EQ(info.type, B_RAW_TYPE);
	EXPECT_EQ(info.size, 2);

	int32 back = 0;
	EXPECT_EQ(node.ReadAttr("CD:key", B_INT32_TYPE, 0, &back, sizeof(back)), 2);

	std::string text;
	EXPECT_EQ(node.ReadAttrString("Audio:Title", &text), B_OK);
	EXPECT_EQ(text, "Hello World");
	EXPECT_EQ(node.WriteAttrString("Audio:Artist", "Someone"), B_OK);
	EXPECT_EQ(RawXattr(path, "user.Audio:Artist"), std::string("Someone", 8));
}

TEST_F(StorageTest, AttributeOffsetsRemovalAndErrors)
{
	std::string path = MakeFile("f");
	BNode node(path.c_str());
	ASSERT_EQ(node.WriteAttr("a", B_RAW_TYPE, 0, "abcdef", 6), 6);
	ASSERT_EQ(node.WriteAttr("a", B_RAW_TYPE, 2, "XY", 2), 2);
	EXPECT_EQ(RawXattr(path, "user.a"), "abXYef");
	ASSERT_EQ(node.WriteAttr("a", B_RAW_TYPE, 8, "Z", 1), 1);
	EXPECT_EQ(RawXattr(path, "user.a"), std::string("abXYef\0\0Z", 9));

	char buffer[16] = {};
	EXPECT_EQ(node.ReadAttr("a", B_RAW_TYPE, 3, buffer, 2), 2);
	EXPECT_EQ(std::string(buffer, 2), "Ye");
	EXPECT_EQ(node.ReadAttr("a", B_RAW_TYPE, 9, buffer, sizeof(buffer)), 0);
	EXPECT_EQ(node.ReadAttr("a", B_RAW_TYPE, -1, buffer, sizeof(buffer)), B_BAD_VALUE);

	EXPECT_EQ(node.RemoveAttr("a"), B_OK);
	EXPECT_EQ(node.ReadAttr("a", B_RAW_TYPE, 0, buffer, sizeof(buffer)), B_ENTRY_NOT_FOUND);
	EXPECT_EQ(node.RemoveAttr("a"), B_ENTRY_NOT_FOUND);
	// No companion left behind.
	EXPECT_EQ(listxattr(path.c_str(), nullptr, 0), 0);

	EXPECT_EQ(node.WriteAttr("", B_RAW_TYPE, 0, "x", 1), B_BAD_VALUE);
	EXPECT_EQ(node.WriteAttr(std::string(251, 'n').c_str(), B_RAW_TYPE, 0, "x", 1), B_NAME_TOO_LONG);
	EXPECT_EQ(node.WriteAttr("tarnwick.type.a", B_RAW_TYPE, 0, "x", 1), B_BAD_VALUE);
	EXPECT_EQ(node.WriteAttr("mime_type", B_RAW_TYPE, 0, "x", 1), B_BAD_VALUE);
	BNode unset;
	EXPECT_EQ(unset.ReadAttr("a", B_RAW_TYPE, 0, buffer, 1), B_NO_INIT);
	EXPECT_EQ(BNode(PathOf("missing").c_str()).InitCheck(), B_ENTRY_NOT_FOUND);
}

TEST_F(StorageTest, ListingShowsOnlyRealAttributeNames)
{
	std::string path = MakeFile("f");
	BNode node(path.c_str());
	node.WriteAttrString("Audio:Title", "T");
	int32 key = 7;
	node.WriteAttr("CD:key", B_INT32_TYPE, 0, &key, sizeof(key));
	node.WriteAttr("BEOS:TYPE", B_MIME_TYPE, 0, "audio/x-wav", 12);
	// Written by other programs: text and binary.
	ASSERT_EQ(setxattr(path.c_str(), "user.xdg.comment", "nice", 4, 0), 0);
	ASSERT_EQ(setxattr(path.c_str(), "user.blob", "\x01\x02\x00", 3, 0), 0);

	EXPECT_EQ(AttrNames(node),
		(std::vector<std::string>{"Audio:Title", "BEOS:TYPE", "CD:key", "blob", "xdg.comment"}));
	std::vector<std::string> all;
	ASSERT_EQ(node.GetAttrNames(&all), B_OK);
	EXPECT_EQ(all.size(), 5u);

	attr_info info;
	ASSERT_EQ(node.GetAttrInfo("xdg.comment", &info), B_OK);
	EXPECT_EQ(info.type, B_STRING_TYPE);
	ASSERT_EQ(node.GetAttrInfo("blob", &info), B_OK);
	EXPECT_EQ(info.type, B_RAW_TYPE);

	// Iteration ends, and starts again after a rewind.
	char name[B_ATTR_NAME_LENGTH];
	int count = 0;
	while (node.GetNextAttrName(name) == B_OK)
		count++;
	EXPECT_EQ(node.GetNextAttrName(name), B_ENTRY_NOT_FOUND);
	EXPECT_EQ(node.RewindAttrs(), B_OK);
	EXPECT_EQ(node.GetNextAttrName(name), B_OK);
}

TEST_F(StorageTest, MimeTypeAttributeIsMirrored)
{
	std::string path = MakeFile("disc");
	BNode node(path.c_str());
	const char type[] = "text/x-cd_tracks";
	ASSERT_EQ(node.WriteAttr("BEOS:TYPE", B_MIME_TYPE, 0, type, sizeof(type)), 17);
	EXPECT_EQ(RawXattr(path, "user.BEOS:TYPE"), std::string(type, 17));
	EXPECT_EQ(RawXattr(path, "user.mime_type"), "text/x-cd_tracks");

	BNodeInfo info(&node);
	char buffer[B_MIME_TYPE_LENGTH];
	ASSERT_EQ(info.GetType(buffer), B_OK);
	EXPECT_STREQ(buffer, "text/x-cd_tracks");
	ASSERT_EQ(info.SetType("audio/flac"), B_OK);
	EXPECT_EQ(RawXattr(path, "user.mime_type"), "audio/flac");

	EXPECT_EQ(node.RemoveAttr("BEOS:TYPE"), B_OK);
	EXPECT_EQ(RawXattr(path, "user.mime_type"), "<missing>");
	EXPECT_EQ(info.GetType(buffer), B_ENTRY_NOT_FOUND);

	// A file typed by another program shows the type as "BEOS:TYPE".
	std::string other = MakeFile("other");
	ASSERT_EQ(setxattr(other.c_str(), "user.mime_type", "audio/ogg", 9, 0), 0);
	BNode otherNode(other.c_str());
	EXPECT_EQ(AttrNames(otherNode), std::vector<std::string>{"BEOS:TYPE"});
	char data[32] = {};
	EXPECT_EQ(otherNode.ReadAttr("BEOS:TYPE", B_MIME_TYPE, 0, data, sizeof(data)), 10);
	EXPECT_STREQ(data, "audio/ogg");
	std::string sniffed;
	EXPECT_EQ(get_file_mime_type(other.c_str(), &sniffed), B_OK);
	EXPECT_EQ(sniffed, "audio/ogg");
}

TEST_F(StorageTest, AttributesOfSymbolicLinksAreTheLinksOwn)
{
	std::string target = MakeFile("target");
	std::string link = PathOf("link");
	ASSERT_EQ(symlink("target", link.c_str()), 0);
	BNode(target.c_str()).WriteAttrString("Audio:Title", "on the file");

	// Not following: the link itself, which Linux does not let carry user
	// attributes.
	BNode linkNode(link.c_str());
	ASSERT_EQ(linkNode.InitCheck(), B_OK);
	EXPECT_TRUE(linkNode.IsSymLink());
	char buffer[64];
	EXPECT_EQ(linkNode.ReadAttr("Audio:Title", B_STRING_TYPE, 0, buffer, sizeof(buffer)), B_ENTRY_NOT_FOUND);
	EXPECT_TRUE(AttrNames(linkNode).empty());
	EXPECT_EQ(linkNode.WriteAttr("BEOS:TYPE", B_MIME_TYPE, 0, "x/y", 4), B_UNSUPPORTED);
	EXPECT_EQ(RawXattr(target, "user.BEOS:TYPE"), "<missing>");

	// Following: the target's attributes.
	BEntry followed(link.c_str(), true);
	BNode targetNode(&followed);
	std::string title;
	EXPECT_EQ(targetNode.ReadAttrString("Audio:Title", &title), B_OK);
	EXPECT_EQ(title, "on the file");
}

TEST_F(StorageTest, NodeStaysWithItsFileAcrossRenames)
{
	std::string path = MakeFile("before");
	BNode node(path.c_str());
	ASSERT_EQ(rename(path.c_str(), PathOf("after").c_str()), 0);
	MakeFile("before", "another file");
	EXPECT_EQ(node.WriteAttrString("Audio:Title", "moved"), B_OK);
	EXPECT_EQ(RawXattr(PathOf("after"), "user.Audio:Title"), std::string("moved", 6));
	EXPECT_EQ(RawXattr(PathOf("before"), "user.Audio:Title"), "<missing>");
	struct stat st;
	ASSERT_EQ(node.GetStat(&st), B_OK);
	EXPECT_EQ(st.st_size, 4);
}

// #pragma mark - entries, folders, paths

TEST_F(StorageTest, EntriesFollowLinksOnlyWhenAsked)
{
	std::string file = MakeFile("file");
	ASSERT_EQ(symlink("file", PathOf("one").c_str()), 0);
	ASSERT_EQ(symlink(PathOf("one").c_str(), PathOf("two").c_str()), 0);
	ASSERT_EQ(symlink("nowhere", PathOf("dangling").c_str()), 0);
	ASSERT_EQ(symlink("loop", PathOf("loop").c_str()), 0);

	BEntry link(PathOf("two").c_str());
	EXPECT_TRUE(link.IsSymLink());
	EXPECT_EQ(link.Path(), PathOf("two"));

	BEntry followed(PathOf("two").c_str(), true);
	ASSERT_EQ(followed.InitCheck(), B_OK);
	EXPECT_TRUE(followed.IsFile());
	EXPECT_EQ(followed.Path(), file);

	BEntry dangling(PathOf("dangling").c_str(), true);
	ASSERT_EQ(dangling.InitCheck(), B_OK);
	EXPECT_FALSE(dangling.Exists());
	EXPECT_EQ(dangling.Path(), PathOf("nowhere"));

	EXPECT_EQ(BEntry(PathOf("loop").c_str(), true).InitCheck(), B_LINK_LIMIT);
	EXPECT_EQ(BEntry(PathOf("no/such").c_str()).InitCheck(), B_ENTRY_NOT_FOUND);

	BEntry abstract(PathOf("not-yet").c_str());
	ASSERT_EQ(abstract.InitCheck(), B_OK);
	EXPECT_FALSE(abstract.Exists());
	node_ref node;
	EXPECT_EQ(abstract.GetNodeRef(&node), B_ENTRY_NOT_FOUND);

	// References match get_ref_for_path and the node matches stat.
	entry_ref ref;
	entry_ref expected;
	ASSERT_EQ(followed.GetRef(&ref), B_OK);
	ASSERT_EQ(get_ref_for_path(file.c_str(), &expected), B_OK);
	EXPECT_EQ(ref, expected);
	struct stat st;
	ASSERT_EQ(stat(file.c_str(), &st), 0);
	ASSERT_EQ(followed.GetNodeRef(&node), B_OK);
	EXPECT_EQ(node.node, int64(st.st_ino));
	EXPECT_EQ(node.device, int64(st.st_dev));
	std::string name;
	EXPECT_EQ(followed.GetName(&name), B_OK);
	EXPECT_EQ(name, "file");
}

TEST_F(StorageTest, EntriesRenameMoveAndRemove)
{
	MakeFile("a", "A");
	MakeFile("b", "B");
	ASSERT_EQ(mkdir(PathOf("sub").c_str(), 0755), 0);

	BEntry entry(PathOf("a").c_str());
	EXPECT_EQ(entry.Rename("b"), B_FILE_EXISTS);
	EXPECT_TRUE(BEntry(PathOf("a").c_str()).Exists());
	std::ifstream b(PathOf("b"));
	std::string content;
	b >> content;
	EXPECT_EQ(content, "B");

	EXPECT_EQ(entry.Rename("c"), B_OK);
	EXPECT_EQ(entry.Path(), PathOf("c"));
	EXPECT_FALSE(BEntry(PathOf("a").c_str()).Exists());

	BDirectory sub(PathOf("sub").c_str());
	EXPECT_EQ(entry.MoveTo(&sub), B_OK);
	EXPECT_EQ(entry.Path(), PathOf("sub/c"));
	BEntry other(PathOf("b").c_str());
	EXPECT_EQ(other.MoveTo(&sub, "c"), B_FILE_EXISTS);
	EXPECT_EQ(other.MoveTo(&sub, "c", true), B_OK);

	BEntry parent;
	ASSERT_EQ(entry.GetParent(&parent), B_OK);
	EXPECT_EQ(parent.Path(), PathOf("sub"));
	BEntry root("/");
	EXPECT_EQ(root.GetParent(&parent), B_ENTRY_NOT_FOUND);

	EXPECT_EQ(BEntry(PathOf("sub").c_str()).Remove(), B_DIRECTORY_NOT_EMPTY);
	EXPECT_EQ(entry.Remove(), B_OK);
	EXPECT_FALSE(entry.Exists());
	EXPECT_EQ(entry.InitCheck(), B_OK);
	EXPECT_EQ(BEntry(PathOf("sub").c_str()).Remove(), B_OK);
}

TEST_F(StorageTest, DirectoriesListAndCreateEntries)
{
	BDirectory dir(fRoot.c_str());
	ASSERT_EQ(dir.InitCheck(), B_OK);
	BEntry created;
	EXPECT_EQ(dir.CreateFile("one", &created), B_OK);
	EXPECT_TRUE(created.IsFile());
	EXPECT_EQ(dir.CreateFile("one", nullptr, true), B_FILE_EXISTS);
	EXPECT_EQ(dir.CreateFile("one"), B_OK);
	BDirectory sub;
	EXPECT_EQ(dir.CreateDirectory("sub", &sub), B_OK);
	EXPECT_EQ(sub.Path(), PathOf("sub"));
	EXPECT_EQ(dir.CreateDirectory("sub"), B_FILE_EXISTS);
	EXPECT_EQ(dir.CreateSymLink("link", "one"), B_OK);

	EXPECT_EQ(dir.CountEntries(), 3);
	std::set<std::string> names;
	BEntry entry;
	while (dir.GetNextEntry(&entry) == B_OK) {
		std::string name;
		entry.GetName(&name);
		names.insert(name);
	}
	EXPECT_EQ(names, (std::set<std::string>{"link", "one", "sub"}));
	EXPECT_EQ(dir.GetNextEntry(&entry), B_ENTRY_NOT_FOUND);
	EXPECT_EQ(dir.Rewind(), B_OK);
	entry_ref ref;
	EXPECT_EQ(dir.GetNextRef(&ref), B_OK);
	EXPECT_EQ(ref.dirPath, fRoot);

	EXPECT_TRUE(dir.Contains("one"));
	EXPECT_TRUE(dir.Contains(PathOf("sub").c_str()));
	EXPECT_FALSE(dir.Contains("none"));
	EXPECT_EQ(dir.FindEntry("link", &entry, true), B_OK);
	EXPECT_EQ(entry.Path(), PathOf("one"));

	// Links to folders are followed, files are refused.
	EXPECT_EQ(symlink("sub", PathOf("sublink").c_str()), 0);
	EXPECT_EQ(BDirectory(PathOf("sublink").c_str()).Path(), PathOf("sub"));
	EXPECT_EQ(BDirectory(PathOf("one").c_str()).InitCheck(), B_NOT_A_DIRECTORY);

	// A folder met before can be opened by its node.
	node_ref node;
	ASSERT_EQ(sub.GetNodeRef(&node), B_OK);
	BDirectory byNode(&node);
	ASSERT_EQ(byNode.InitCheck(), B_OK);
	EXPECT_EQ(byNode.Path(), PathOf("sub"));
	entry_ref inSub;
	ASSERT_EQ(get_ref_for_entry(node.device, node.node, "x", &inSub), B_OK);
	EXPECT_EQ(inSub.Path(), PathOf("sub/x"));

	EXPECT_EQ(create_directory(PathOf("deep/er/est").c_str(), 0755), B_OK);
	EXPECT_TRUE(std::filesystem::is_directory(PathOf("deep/er/est")));
	EXPECT_EQ(create_directory(PathOf("deep/er/est").c_str(), 0755), B_OK);
	EXPECT_EQ(create_directory(PathOf("one/x").c_str(), 0755), B_NOT_A_DIRECTORY);
}

TEST_F(StorageTest, PathsNormaliseWhenNeeded)
{
	ASSERT_EQ(mkdir(PathOf("a").c_str(), 0755), 0);
	BPath path(fRoot.c_str(), "a/./../a//b/");
	ASSERT_EQ(path.InitCheck(), B_OK);
	EXPECT_STREQ(path.Path(), PathOf("a/b").c_str());
	EXPECT_STREQ(path.Leaf(), "b");
	BPath parent;
	ASSERT_EQ(path.GetParent(&parent), B_OK);
	EXPECT_STREQ(parent.Path(), PathOf("a").c_str());
	EXPECT_EQ(parent.Append("c"), B_OK);
	EXPECT_STREQ(parent.Path(), PathOf("a/c").c_str());

	// Clean absolute paths are kept as they are, even when missing.
	BPath kept("/no/such/folder");
	EXPECT_STREQ(kept.Path(), "/no/such/folder");
	EXPECT_EQ(BPath("/no/such/../folder").InitCheck(), B_ENTRY_NOT_FOUND);
	EXPECT_EQ(BPath(fRoot.c_str(), "/abs").InitCheck(), B_BAD_VALUE);
	BPath root("/");
	EXPECT_STREQ(root.Leaf(), "");
	EXPECT_EQ(root.GetParent(&parent), B_ENTRY_NOT_FOUND);
	EXPECT_EQ(BPath().Path(), nullptr);
}

// #pragma mark - MIME types

TEST_F(StorageTest, SniffsAudioHeaders)
{
	auto sniff = [](const std::string& bytes, const char* name = nullptr) -> std::string {
		const char* type = sniff_mime_type(bytes.data(), bytes.size(), name);
		return type != nullptr ? type : "<none>";
	};
	EXPECT_EQ(sniff(std::string("RIFF\x24\0\0\0WAVEfmt ", 16)), "audio/x-wav");
	EXPECT_EQ(sniff(std::string("FORM\0\0\0\x20" "AIFFCOMM", 16)), "audio/x-aiff");
	EXPECT_EQ(sniff("fLaC\0\0\0\x22"), "audio/flac");

	std::string ogg("OggS\0\x02", 6);
	ogg += std::string(20, '\0');
	ogg += '\x01';   // one segment
	ogg += '\x13';
	EXPECT_EQ(sniff(ogg + "OpusHead\x01\x02"), "audio/opus");
	EXPECT_EQ(sniff(ogg + "\x01vorbis\0\0\0\0"), "audio/ogg");

	// Two MPEG-1 layer III frames, 128 kbit/s at 44.1 kHz (417 bytes each).
	std::string frame("\xff\xfb\x90\x00", 4);
	frame.resize(417, '\x55');
	EXPECT_EQ(sniff(frame + frame), "audio/mpeg");
	std::string broken = frame;
	broken += std::string("\xff\x00\x00\x00", 4);
	EXPECT_EQ(sniff(broken + std::string(500, '\x55')), "<none>");
	std::string id3("ID3\x04\0\0\0\0\0\x0a", 10);
	id3 += std::string(10, '\0');
	EXPECT_EQ(sniff(id3 + frame + frame), "audio/mpeg");
	EXPECT_EQ(sniff(id3 + "fLaC\0\0\0\x22"), "audio/flac");

	EXPECT_EQ(sniff(std::string("\0\0\0\x20" "ftypM4A \0\0\0\0", 16)), "audio/mp4");
	EXPECT_EQ(sniff(std::string("\0\0\0\x18" "ftypisom\0\0\0\0mp41", 20), "x.m4a"), "audio/mp4");
	EXPECT_EQ(sniff(std::string("\0\0\0\x18" "ftypisom\0\0\0\0mp41", 20), "x.mp4"), "video/mp4");

	// Unknown content: the extension, then text, then nothing.
	std::string noise("\x01\x02\x03\x04\x00\x05", 6);
	EXPECT_EQ(sniff(noise, "Track.FLAC"), "audio/flac");
	EXPECT_EQ(sniff(noise, "x.bin"), "<none>");
	EXPECT_EQ(sniff("plain words\n", nullptr), "text/plain");
	EXPECT_EQ(sniff("", nullptr), "<none>");
	EXPECT_EQ(sniff_mime_type(nullptr, 100, nullptr), nullptr);
	// Content wins over a misleading name.
	EXPECT_EQ(sniff("fLaC\0\0\0\x22", "song.mp3"), "audio/flac");
}

TEST_F(StorageTest, RecognisesFilesMadeByAnEncoder)
{
	if (system("ffmpeg -version >/dev/null 2>&1") != 0)
		GTEST_SKIP() << "ffmpeg is not installed";
	struct Case {
		const char* file;
		const char* options;
		const char* type;
	};
	const Case cases[] = {
		{"a.wav", "", "audio/x-wav"},
		{"a.aiff", "", "audio/x-aiff"},
		{"a.flac", "", "audio/flac"},
		{"a.mp3", "-c:a libmp3lame", "audio/mpeg"},
		{"a.ogg", "-c:a libvorbis", "audio/ogg"},
		{"a.opus", "-c:a libopus", "audio/opus"},
		{"a.m4a", "-c:a aac", "audio/mp4"},
	};
	int made = 0;
	for (const Case& item : cases) {
		std::string path = PathOf(item.file);
		std::string command = std::string("ffmpeg -v quiet -f lavfi -i sine=duration=0.1 ") + item.options
			+ " -y '" + path + "' </dev/null >/dev/null 2>&1";
		if (system(command.c_str()) != 0)
			continue;   // this ffmpeg lacks the encoder
		made++;
		// Renamed without an extension, so the content decides.
		std::string bare = PathOf(std::string("bare-") + item.file);
		bare = bare.substr(0, bare.rfind('.'));
		ASSERT_EQ(rename(path.c_str(), bare.c_str()), 0);
		std::string type;
		ASSERT_EQ(get_file_mime_type(bare.c_str(), &type), B_OK) << item.file;
		EXPECT_EQ(type, item.type) << item.file;
	}
	EXPECT_GT(made, 0);
}

TEST_F(StorageTest, FileTypesOfNodes)
{
	std::string file = MakeFile("noise.bin", std::string("\x01\x02\x00", 3));
	ASSERT_EQ(mkdir(PathOf("dir").c_str(), 0755), 0);
	ASSERT_EQ(symlink("noise.bin", PathOf("link").c_str()), 0);
	std::string type;
	EXPECT_EQ(get_file_mime_type(file.c_str(), &type), B_OK);
	EXPECT_EQ(type, B_FILE_MIME_TYPE);
	EXPECT_EQ(get_file_mime_type(PathOf("dir").c_str(), &type), B_OK);
	EXPECT_EQ(type, B_DIRECTORY_MIME_TYPE);
	EXPECT_EQ(get_file_mime_type(PathOf("link").c_str(), &type, false), B_OK);
	EXPECT_EQ(type, B_SYMLINK_MIME_TYPE);
	EXPECT_EQ(get_file_mime_type(PathOf("missing").c_str(), &type), B_ENTRY_NOT_FOUND);

	// The recorded type wins over the content; update_mime_info records.
	std::string wav = MakeFile("untyped", std::string("RIFF\x24\0\0\0WAVEfmt ", 16));
	EXPECT_EQ(update_mime_info(fRoot.c_str(), true, true, B_UPDATE_MIME_INFO_NO_FORCE), B_OK);
	EXPECT_EQ(RawXattr(wav, "user.mime_type"), "audio/x-wav");
	BNode node(wav.c_str());
	BNodeInfo(&node).SetType("audio/x-special");
	EXPECT_EQ(get_file_mime_type(wav.c_str(), &type), B_OK);
	EXPECT_EQ(type, "audio/x-special");
	EXPECT_EQ(update_mime_info(wav.c_str(), false, true, B_UPDATE_MIME_INFO_FORCE_UPDATE_ALL), B_OK);
	EXPECT_EQ(get_file_mime_type(wav.c_str(), &type), B_OK);
	EXPECT_EQ(type, "audio/x-wav");
}

// #pragma mark - volumes

TEST_F(StorageTest, VolumeOfTheTemporaryFolderAnswersTruthfully)
{
	BVolume volume;
	ASSERT_EQ(volume.SetToPath(fRoot.c_str()), B_OK);
	struct statvfs vfs;
	ASSERT_EQ(statvfs(fRoot.c_str(), &vfs), 0);
	struct statfs fs;
	ASSERT_EQ(statfs(fRoot.c_str(), &fs), 0);

	EXPECT_EQ(volume.Capacity(), off_t(vfs.f_blocks) * off_t(vfs.f_frsize));
	// Other programs write meanwhile: allow a little drift.
	off_t free = off_t(vfs.f_bavail) * off_t(vfs.f_frsize);
	EXPECT_NEAR(double(volume.FreeBytes()), double(free), 256.0 * 1024 * 1024);
	EXPECT_EQ(volume.IsReadOnly(), (vfs.f_flag & ST_RDONLY) != 0);
	bool memory = fs.f_type == 0x01021994 || fs.f_type == 0x858458f6;
	EXPECT_EQ(volume.IsPersistent(), !memory);

	// KnowsAttr agrees with setting an xattr by hand, and leaves nothing.
	std::string probe = MakeFile("probe");
	bool xattrs = setxattr(probe.c_str(), "user.test", "1", 1, 0) == 0;
	unlink(probe.c_str());
	EXPECT_EQ(volume.KnowsAttr(), xattrs);
	EXPECT_EQ(volume.KnowsMime(), xattrs);
	EXPECT_FALSE(volume.KnowsQuery());
	EXPECT_TRUE(std::filesystem::is_empty(fRoot));

	// The same volume by device number.
	struct stat st;
	ASSERT_EQ(stat(fRoot.c_str(), &st), 0);
	BVolume byDevice(int64(st.st_dev));
	if (byDevice.InitCheck() == B_OK) {
		EXPECT_TRUE(byDevice == volume);
		EXPECT_EQ(byDevice.Capacity(), volume.Capacity());
	}
	std::string name;
	EXPECT_EQ(volume.GetName(&name), B_OK);
	EXPECT_FALSE(name.empty());
}

TEST_F(StorageTest, KernelFileSystemsAreNeitherPersistentNorAttributed)
{
	BVolume proc;
	ASSERT_EQ(proc.SetToPath("/proc/self"), B_OK);
	EXPECT_FALSE(proc.IsPersistent());
	EXPECT_FALSE(proc.IsRemovable());
	EXPECT_FALSE(proc.KnowsAttr());
	EXPECT_EQ(BVolume().InitCheck(), B_NO_INIT);
	EXPECT_EQ(BVolume().SetToPath("/no/such/path"), B_ENTRY_NOT_FOUND);
}

}   // namespace

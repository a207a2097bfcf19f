// BMessage: typed fields, order, copies, the flattened format and its
// hostile-input handling; entry_ref paths.
#include "kit/support/Message.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string Flat(const BMessage& message)
{
	std::string flat;
	EXPECT_EQ(message.Flatten(&flat), B_OK);
	return flat;
}

// Unflattens from a heap block of exactly `size` bytes so that the address
// sanitizer sees any read past the end.
status_t UnflattenExact(BMessage* message, const std::string& bytes, size_t size)
{
	std::unique_ptr<char[]> block(new char[size == 0 ? 1 : size]);
	memcpy(block.get(), bytes.data(), size);
	return message->Unflatten(size == 0 ? nullptr : block.get(), size);
}

// One case per field type: values to store and the typed accessors.
#define NUMBER_CASE(Name, T, Code, a, b, c)                                                                      \
	struct Name##Case {                                                                                        \
		using Value = T;                                                                                       \
		static constexpr type_code kType = Code;                                                               \
		static std::vector<Value> Values() { return {a, b, c}; }                                               \
		static status_t Add(BMessage& m, const char* n, const Value& v) { return m.Add##Name(n, v); }          \
		static status_t Find(const BMessage& m, const char* n, int32 i, Value* v) { return m.Find##Name(n, i, v); } \
		static status_t Replace(BMessage& m, const char* n, const Value& v) { return m.Replace##Name(n, v); }  \
		static bool Same(const Value& x, const Value& y) { return x == y; }                                    \
	};

NUMBER_CASE(Int8, int8, B_INT8_TYPE, -128, 0, 127)
NUMBER_CASE(UInt8, uint8, B_UINT8_TYPE, 0, 1, 255)
NUMBER_CASE(Int16, int16, B_INT16_TYPE, -32768, 2, 32767)
NUMBER_CASE(UInt16, uint16, B_UINT16_TYPE, 0, 0x1234, 0xffff)
NUMBER_CASE(Int32, int32, B_INT32_TYPE, INT32_MIN, -1, INT32_MAX)
NUMBER_CASE(UInt32, uint32, B_UINT32_TYPE, 0, 0x01020304, UINT32_MAX)
NUMBER_CASE(Int64, int64, B_INT64_TYPE, INT64_MIN, 195804000, INT64_MAX)
NUMBER_CASE(UInt64, uint64, B_UINT64_TYPE, 0, 0x0102030405060708ull, UINT64_MAX)
NUMBER_CASE(Bool, bool, B_BOOL_TYPE, true, false, true)
NUMBER_CASE(Float, float, B_FLOAT_TYPE, -1.5f, 0.0f, 3.25e30f)
NUMBER_CASE(Double, double, B_DOUBLE_TYPE, -2.5, 1e-300, 44100.0)
NUMBER_CASE(Rect, BRect, B_RECT_TYPE, BRect(0, 0, 1, 1), BRect(-5, 2.5f, 640, 480), BRect())
NUMBER_CASE(Point, BPoint, B_POINT_TYPE, BPoint(0, 0), BPoint(-3, 7.5f), BPoint(1e6f, -1e6f))
#undef NUMBER_CASE

int gPointees[3];

struct PointerCase {
	using Value = void*;
	static constexpr type_code kType = B_POINTER_TYPE;
	static std::vector<Value> Values() { return {&gPointees[0], nullptr, &gPointees[2]}; }
	static status_t Add(BMessage& m, const char* n, const Value& v) { return m.AddPointer(n, v); }
	static status_t Find(const BMessage& m, const char* n, int32 i, Value* v) { return m.FindPointer(n, i, v); }
	static status_t Replace(BMessage& m, const char* n, const Value& v) { return m.ReplacePointer(n, v); }
	static bool Same(const Value& x, const Value& y) { return x == y; }
};

struct StringCase {
	using Value = std::string;
	static constexpr type_code kType = B_STRING_TYPE;
	static std::vector<Value> Values() { return {"", "Audio:Title", std::string("nul\0inside", 10)}; }
	static status_t Add(BMessage& m, const char* n, const Value& v) { return m.AddString(n, v); }
	static status_t Find(const BMessage& m, const char* n, int32 i, Value* v) { return m.FindString(n, i, v); }
	static status_t Replace(BMessage& m, const char* n, const Value& v) { return m.ReplaceString(n, v); }
	static bool Same(const Value& x, const Value& y) { return x == y; }
};

struct MessageCase {
	using Value = BMessage;
	static constexpr type_code kType = B_MESSAGE_TYPE;
	static std::vector<Value> Values()
	{
		BMessage empty;
		BMessage track('trak');
		track.AddString("mFile", "01.wav");
		track.AddFloat("mGain", 0.5f);
		BMessage outer('outr');
		outer.AddMessage("inner", &track);
		outer.AddInt64("mMaxLength", 195804000);
		return {empty, track, outer};
	}
	static status_t Add(BMessage& m, const char* n, const Value& v) { return m.AddMessage(n, &v); }
	static status_t Find(const BMessage& m, const char* n, int32 i, Value* v) { return m.FindMessage(n, i, v); }
	static status_t Replace(BMessage& m, const char* n, const Value& v) { return m.ReplaceMessage(n, &v); }
	static bool Same(const Value& x, const Value& y) { return Flat(x) == Flat(y); }
};

struct RefCase {
	using Value = entry_ref;
	static constexpr type_code kType = B_REF_TYPE;
	static std::vector<Value> Values()
	{
		return {entry_ref(), entry_ref(3, 1234, "Tarnwick project", "/home/user/cd/My Disc"),
			entry_ref(-1, INT64_MAX, "x", "/")};
	}
	static status_t Add(BMessage& m, const char* n, const Value& v) { return m.AddRef(n, &v); }
	static status_t Find(const BMessage& m, const char* n, int32 i, Value* v) { return m.FindRef(n, i, v); }
	static status_t Replace(BMessage& m, const char* n, const Value& v) { return m.ReplaceRef(n, &v); }
	static bool Same(const Value& x, const Value& y) { return x == y && x.dirPath == y.dirPath; }
};

struct RawCase {
	using Value = std::string;
	static constexpr type_code kType = B_RAW_TYPE;
	static std::vector<Value> Values() { return {std::string("\0\0\0", 3), "", std::string(300, '\xff')}; }
	static status_t Add(BMessage& m, const char* n, const Value& v)
	{
		return m.AddData(n, B_RAW_TYPE, v.data(), ssize_t(v.size()), false);
	}
	static status_t Find(const BMessage& m, const char* n, int32 i, Value* v)
	{
		const void* data;
		ssize_t size;
		status_t status = m.FindData(n, B_RAW_TYPE, i, &data, &size);
		if (status == B_OK)
			v->assign(static_cast<const char*>(data), size_t(size));
		return status;
	}
	static status_t Replace(BMessage& m, const char* n, const Value& v)
	{
		return m.ReplaceData(n, B_RAW_TYPE, v.data(), ssize_t(v.size()));
	}
	static bool Same(const Value& x, const Value& y) { return x == y; }
};

template <typename Case>
class MessageFieldTypes : public ::testing::Test {
protected:
	using Value = typename Case::Value;

	void ExpectItems(const BMessage& message, const char* name, const std::vector<Value>& expected)
	{
		type_code type = 0;
		int32 count = -1;
		ASSERT_EQ(message.GetInfo(name, &type, &count), B_OK);
		EXPECT_EQ(type, Case::kType);
		ASSERT_EQ(count, int32(expected.size()));
		for (size_t i = 0; i < expected.size(); i++) {
			Value found {};
			ASSERT_EQ(Case::Find(message, name, int32(i), &found), B_OK) << "item " << i;
			EXPECT_TRUE(Case::Same(found, expected[i])) << "item " << i;
		}
	}
};

using AllFieldTypes = ::testing::Types<Int8Case, UInt8Case, Int16Case, UInt16Case, Int32Case, UInt32Case, Int64Case,
	UInt64Case, BoolCase, FloatCase, DoubleCase, RectCase, PointCase, PointerCase, StringCase, MessageCase, RefCase,
	RawCase>;
TYPED_TEST_SUITE(MessageFieldTypes, AllFieldTypes);

TYPED_TEST(MessageFieldTypes, AddFindHasSeveralItems)
{
	auto values = TypeParam::Values();
	BMessage message('test');
	for (const auto& value : values)
		ASSERT_EQ(TypeParam::Add(message, "field", value), B_OK);
	this->ExpectItems(message, "field", values);

	EXPECT_TRUE(message.HasData("field", TypeParam::kType, 2));
	EXPECT_TRUE(message.HasData("field", B_ANY_TYPE, 0));
	EXPECT_FALSE(message.HasData("field", TypeParam::kType, 3));
	EXPECT_FALSE(message.HasData("field", TypeParam::kType == B_INT32_TYPE ? B_STRING_TYPE : B_INT32_TYPE, 0));

	typename TypeParam::Value found {};
	EXPECT_EQ(TypeParam::Find(message, "field", 3, &found), B_BAD_INDEX);
	EXPECT_EQ(TypeParam::Find(message, "field", -1, &found), B_BAD_INDEX);
	EXPECT_EQ(TypeParam::Find(message, "missing", 0, &found), B_NAME_NOT_FOUND);

	const void* data = nullptr;
	ssize_t size = -1;
	EXPECT_EQ(message.FindData("field", B_ANY_TYPE, 1, &data, &size), B_OK);
	EXPECT_EQ(message.FindData("field", TypeParam::kType == B_RAW_TYPE ? B_INT8_TYPE : B_RAW_TYPE, 0, &data, &size),
		B_BAD_TYPE);
}

TYPED_TEST(MessageFieldTypes, ReplaceAndRemoveUntilTheFieldDisappears)
{
	auto values = TypeParam::Values();
	BMessage message;
	ASSERT_EQ(message.AddInt32("before", 1), B_OK);
	for (const auto& value : values)
		ASSERT_EQ(TypeParam::Add(message, "field", value), B_OK);

	ASSERT_EQ(TypeParam::Replace(message, "field", values[2]), B_OK);
	this->ExpectItems(message, "field", {values[2], values[1], values[2]});
	EXPECT_EQ(TypeParam::Replace(message, "missing", values[0]), B_NAME_NOT_FOUND);

	ASSERT_EQ(message.RemoveData("field", 1), B_OK);
	this->ExpectItems(message, "field", {values[2], values[2]});
	EXPECT_EQ(message.RemoveData("field", 2), B_BAD_INDEX);
	EXPECT_EQ(message.RemoveData("missing", 0), B_NAME_NOT_FOUND);
	ASSERT_EQ(message.RemoveData("field", 0), B_OK);
	ASSERT_EQ(message.RemoveData("field", 0), B_OK);

	EXPECT_EQ(message.GetInfo("field", nullptr, static_cast<int32*>(nullptr)), B_NAME_NOT_FOUND);
	EXPECT_EQ(message.CountNames(B_ANY_TYPE), 1);
	// A field added again after it disappeared starts over, at the end.
	ASSERT_EQ(TypeParam::Add(message, "field", values[1]), B_OK);
	this->ExpectItems(message, "field", {values[1]});
	const char* name = nullptr;
	ASSERT_EQ(message.GetInfo(B_ANY_TYPE, 1, &name, nullptr), B_OK);
	EXPECT_STREQ(name, "field");
}

TYPED_TEST(MessageFieldTypes, ItemOfAnotherTypeIsRefused)
{
	auto values = TypeParam::Values();
	BMessage message;
	ASSERT_EQ(TypeParam::Add(message, "field", values[0]), B_OK);
	if (TypeParam::kType == B_INT32_TYPE) {
		EXPECT_EQ(message.AddString("field", "text"), B_BAD_TYPE);
		EXPECT_EQ(message.ReplaceString("field", "text"), B_BAD_TYPE);
	} else {
		EXPECT_EQ(message.AddInt32("field", 7), B_BAD_TYPE);
		EXPECT_EQ(message.ReplaceInt32("field", 7), B_BAD_TYPE);
	}
	// The stored-item merge of the settings store adds without the fixed-size
	// flag; the type still has to match.
	int64 other = 5;
	type_code otherType = TypeParam::kType == B_INT64_TYPE ? B_UINT64_TYPE : B_INT64_TYPE;
	EXPECT_EQ(message.AddData("field", otherType, &other, sizeof(other), false), B_BAD_TYPE);
	this->ExpectItems(message, "field", {values[0]});
}

TYPED_TEST(MessageFieldTypes, SurvivesFlattening)
{
	auto values = TypeParam::Values();
	BMessage message('PrAd');
	ASSERT_EQ(message.AddInt32("first", 1), B_OK);
	for (const auto& value : values)
		ASSERT_EQ(TypeParam::Add(message, "field", value), B_OK);
	ASSERT_EQ(message.AddString("last", "end"), B_OK);

	std::string flat = Flat(message);
	EXPECT_EQ(ssize_t(flat.size()), message.FlattenedSize());
	BMessage copy;
	ASSERT_EQ(copy.Unflatten(flat.data(), flat.size()), B_OK);
	EXPECT_EQ(copy.what, uint32('PrAd'));
	this->ExpectItems(copy, "field", values);
	const char* name = nullptr;
	ASSERT_EQ(copy.GetInfo(B_ANY_TYPE, 2, &name, nullptr), B_OK);
	EXPECT_STREQ(name, "last");
	EXPECT_EQ(Flat(copy), flat);
}

TEST(MessageItemSizeTest, FixedSizeTypesCheckTheirItems)
{
	BMessage message;
	int64 eight = 1;
	EXPECT_EQ(message.AddData("n", B_INT32_TYPE, &eight, 3), B_BAD_VALUE);
	EXPECT_EQ(message.AddData("r", B_RECT_TYPE, &eight, 8), B_BAD_VALUE);
	EXPECT_EQ(message.AddData("b", B_BOOL_TYPE, &eight, 0), B_BAD_VALUE);
	EXPECT_TRUE(message.IsEmpty());

	ASSERT_EQ(message.AddInt32("n", 1), B_OK);
	EXPECT_EQ(message.ReplaceData("n", B_INT32_TYPE, &eight, 8), B_BAD_VALUE);
	// The type decides fixed size: a stored item merged "not fixed size" is
	// still accepted beside its default.
	int32 second = 2;
	EXPECT_EQ(message.AddData("n", B_INT32_TYPE, &second, 4, false), B_OK);
	bool fixedSize = false;
	ASSERT_EQ(message.GetInfo("n", nullptr, &fixedSize), B_OK);
	EXPECT_TRUE(fixedSize);
	EXPECT_EQ(message.GetInt32("n", 0), 1);

	// Other types keep what their first item said.
	char bytes[5] = {1, 2, 3, 4, 5};
	ASSERT_EQ(message.AddData("fixed", 'CUST', bytes, 4, true), B_OK);
	EXPECT_EQ(message.AddData("fixed", 'CUST', bytes, 5, true), B_BAD_VALUE);
	EXPECT_EQ(message.AddData("fixed", 'CUST', bytes, 4, false), B_BAD_TYPE);
	EXPECT_EQ(message.ReplaceData("fixed", 'CUST', bytes, 5), B_BAD_VALUE);
	EXPECT_EQ(message.AddData("empty", B_RAW_TYPE, bytes, 0, true), B_BAD_VALUE);
	ASSERT_EQ(message.AddData("variable", B_RAW_TYPE, bytes, 4, false), B_OK);
	EXPECT_EQ(message.AddData("variable", B_RAW_TYPE, bytes, 5, false), B_OK);
	EXPECT_EQ(message.ReplaceData("variable", B_RAW_TYPE, 1, bytes, 0), B_OK);

	// Items that the message hands out as text, messages or refs must be well formed.
	EXPECT_EQ(message.AddData("s", B_STRING_TYPE, "abc", 3, false), B_BAD_VALUE);
	EXPECT_EQ(message.AddData("s", B_STRING_TYPE, "abc", 4, false), B_OK);
	EXPECT_EQ(message.ReplaceData("s", B_STRING_TYPE, "", 0), B_BAD_VALUE);
	EXPECT_EQ(message.AddData("m", B_MESSAGE_TYPE, bytes, 5, false), B_BAD_VALUE);
	EXPECT_EQ(message.AddData("ref", B_REF_TYPE, bytes, 5, false), B_BAD_VALUE);
	EXPECT_EQ(message.AddData(nullptr, B_RAW_TYPE, bytes, 1), B_BAD_VALUE);
	EXPECT_EQ(message.AddData("x", B_RAW_TYPE, nullptr, 1), B_BAD_VALUE);
	EXPECT_EQ(message.AddString("x", static_cast<const char*>(nullptr)), B_BAD_VALUE);
	EXPECT_EQ(message.AddMessage("x", nullptr), B_BAD_VALUE);
}

TEST(MessageFieldOrderTest, FieldsKeepTheOrderOfFirstAddition)
{
	BMessage message;
	message.AddString("mArtist", "a");
	message.AddString("mTitle", "t");
	message.AddInt64("mMaxLength", 1);
	message.AddString("mArtist", "again");   // a new item, not a new field
	auto names = [](const BMessage& m) {
		std::vector<std::string> list;
		const char* name;
		for (int32 i = 0; m.GetInfo(B_ANY_TYPE, i, &name, nullptr) == B_OK; i++)
			list.push_back(name);
		return list;
	};
	using Names = std::vector<std::string>;
	EXPECT_EQ(names(message), (Names {"mArtist", "mTitle", "mMaxLength"}));

	ASSERT_EQ(message.Rename("mTitle", "title"), B_OK);
	EXPECT_EQ(names(message), (Names {"mArtist", "title", "mMaxLength"}));
	EXPECT_EQ(message.Rename("title", "mArtist"), B_NAME_IN_USE);
	EXPECT_EQ(message.Rename("nothing", "x"), B_NAME_NOT_FOUND);

	ASSERT_EQ(message.RemoveName("mArtist"), B_OK);
	message.AddString("mArtist", "back");
	EXPECT_EQ(names(message), (Names {"title", "mMaxLength", "mArtist"}));

	BMessage copy;
	std::string flat = Flat(message);
	ASSERT_EQ(copy.Unflatten(flat.data(), flat.size()), B_OK);
	EXPECT_EQ(names(copy), names(message));

	message.MakeEmpty();
	EXPECT_TRUE(message.IsEmpty());
}

TEST(MessageCopyTest, CopiesAreIndependent)
{
	BMessage nested('nest');
	nested.AddInt32("depth", 1);
	BMessage original('orig');
	original.AddString("name", "first");
	original.AddMessage("nested", &nested);
	const char* held = nullptr;
	ASSERT_EQ(original.FindString("name", &held), B_OK);

	BMessage copy(original);
	copy.what = 'copy';
	copy.ReplaceString("name", "changed");
	copy.AddInt32("extra", 3);
	copy.RemoveName("nested");
	nested.ReplaceInt32("depth", 9);

	EXPECT_EQ(original.what, uint32('orig'));
	EXPECT_STREQ(held, "first");
	EXPECT_STREQ(original.GetString("name", ""), "first");
	EXPECT_FALSE(original.HasInt32("extra"));
	BMessage found;
	ASSERT_EQ(original.FindMessage("nested", &found), B_OK);
	EXPECT_EQ(found.GetInt32("depth", 0), 1);

	BMessage assigned('asgn');
	assigned.AddBool("old", true);
	assigned = original;
	EXPECT_EQ(Flat(assigned), Flat(original));
	assigned = assigned;
	EXPECT_EQ(Flat(assigned), Flat(original));

	// Items handed out stay put while other fields come and go.
	for (int i = 0; i < 100; i++)
		original.AddInt32(("f" + std::to_string(i)).c_str(), i);
	original.RemoveName("f0");
	EXPECT_STREQ(held, "first");
}

TEST(MessageFlattenTest, KnownMessageHasTheDocumentedBytes)
{
	BMessage message('abcd');
	message.AddInt32("n", 0x01020304);
	message.AddString("s", "hi");
	const char expected[] =
		"TwMs" "\x01\x00" "\x00\x00" "dcba" "\x02\x00\x00\x00"
		"GNOL" "\x01" "\x01\x00\x00\x00" "n" "\x01\x00\x00\x00" "\x04\x00\x00\x00" "\x04\x03\x02\x01"
		"RTSC" "\x00" "\x01\x00\x00\x00" "s" "\x01\x00\x00\x00" "\x03\x00\x00\x00" "hi\x00";
	EXPECT_EQ(Flat(message), std::string(expected, sizeof(expected) - 1));

	BMessage empty('none');
	EXPECT_EQ(empty.FlattenedSize(), 16);
}

TEST(MessageFlattenTest, BuffersAndReplacedContent)
{
	BMessage inner('lev2');
	inner.AddString("empty", "");
	BMessage outer('lev1');
	outer.AddMessage("child", &inner);

	ssize_t size = outer.FlattenedSize();
	ASSERT_GT(size, 0);
	std::vector<char> buffer(size_t(size) + 1, 'x');
	EXPECT_EQ(outer.Flatten(buffer.data(), size - 1), B_BAD_VALUE);
	ASSERT_EQ(outer.Flatten(buffer.data(), size), B_OK);
	EXPECT_EQ(std::string(buffer.data(), size_t(size)), Flat(outer));
	EXPECT_EQ(buffer[size_t(size)], 'x');

	// Unflattening replaces what was there, even from one of its own items.
	BMessage target('old!');
	target.AddInt32("stale", 1);
	ASSERT_EQ(target.Unflatten(buffer.data(), size_t(size)), B_OK);
	EXPECT_FALSE(target.HasInt32("stale"));
	const void* item;
	ssize_t itemSize;
	ASSERT_EQ(target.FindData("child", B_MESSAGE_TYPE, &item, &itemSize), B_OK);
	ASSERT_EQ(target.Unflatten(static_cast<const char*>(item), size_t(itemSize)), B_OK);
	EXPECT_EQ(target.what, uint32('lev2'));
	EXPECT_STREQ(target.GetString("empty", "missing"), "");
}

// Builds flattened bytes by hand, for inputs the class never writes.
struct Bytes {
	std::string data;
	Bytes& U8(uint8 v) { data.push_back(char(v)); return *this; }
	Bytes& U16(uint16 v) { U8(uint8(v)); return U8(uint8(v >> 8)); }
	Bytes& U32(uint32 v) { U16(uint16(v)); return U16(uint16(v >> 16)); }
	Bytes& Raw(const std::string& s) { data += s; return *this; }
	Bytes& Header(uint32 fields, uint32 what = 0) { return Raw("TwMs").U16(1).U16(0).U32(what).U32(fields); }
	Bytes& Field(type_code type, uint8 flags, const std::string& name, uint32 count)
	{
		return U32(type).U8(flags).U32(uint32(name.size())).Raw(name).U32(count);
	}
};

void ExpectRefused(const std::string& bytes, const char* what)
{
	BMessage message('full');
	message.AddInt32("stale", 1);
	EXPECT_EQ(UnflattenExact(&message, bytes, bytes.size()), B_BAD_DATA) << what;
	EXPECT_TRUE(message.IsEmpty()) << what;
	EXPECT_EQ(message.what, 0u) << what;
}

BMessage RichMessage()
{
	BMessage nested('nest');
	nested.AddString("name", "inner");
	nested.AddRect("frame", BRect(1, 2, 3, 4));
	BMessage message('rich');
	message.AddInt8("i8", -1);
	message.AddInt16("i16", -2);
	message.AddUInt64("u64", 3);
	message.AddBool("b", true);
	message.AddDouble("d", 0.5);
	message.AddPoint("p", BPoint(1, 2));
	message.AddPointer("ptr", &message);
	message.AddString("s", "one");
	message.AddString("s", "");
	entry_ref ref(1, 2, "n", "/p");
	message.AddRef("ref", &ref);
	message.AddMessage("msg", &nested);
	message.AddData("raw", B_RAW_TYPE, "\0\1", 2, false);
	message.AddData("fixed", 'CUST', "abcd", 4, true);
	message.AddData("fixed", 'CUST', "efgh", 4, true);
	return message;
}

TEST(MessageCorruptInputTest, EveryTruncationAndTrailingByteIsRefused)
{
	std::string flat = Flat(RichMessage());
	for (size_t length = 0; length < flat.size(); length++) {
		BMessage message('full');
		message.AddInt32("stale", 1);
		ASSERT_EQ(UnflattenExact(&message, flat, length), B_BAD_DATA) << "length " << length;
		ASSERT_TRUE(message.IsEmpty());
		ASSERT_EQ(message.what, 0u);
	}
	ExpectRefused(flat + '\0', "trailing byte");
	BMessage message;
	EXPECT_EQ(message.Unflatten(nullptr, 4), B_BAD_VALUE);
}

TEST(MessageCorruptInputTest, ChangedBytesFailCleanlyOrGiveACanonicalMessage)
{
	std::string flat = Flat(RichMessage());
	for (size_t i = 0; i < flat.size(); i++) {
		for (uint8 mask : {0x01, 0x80, 0xff}) {
			std::string changed = flat;
			changed[i] = char(changed[i] ^ mask);
			BMessage message;
			status_t status = UnflattenExact(&message, changed, changed.size());
			if (status == B_OK)
				ASSERT_EQ(Flat(message), changed) << "byte " << i;
			else {
				ASSERT_EQ(status, B_BAD_DATA) << "byte " << i;
				ASSERT_TRUE(message.IsEmpty());
			}
		}
	}
}

TEST(MessageCorruptInputTest, HostileHeadersAndCountsAreRefused)
{
	ExpectRefused("", "empty input");
	ExpectRefused(Bytes().Raw("TwMx").U16(1).U16(0).U32(0).U32(0).data, "magic");
	ExpectRefused(Bytes().Raw("TwMs").U16(2).U16(0).U32(0).U32(0).data, "version");
	ExpectRefused(Bytes().Raw("TwMs").U16(1).U16(1).U32(0).U32(0).data, "header flags");
	ExpectRefused(Bytes().Header(0xffffffff).data, "field count");
	ExpectRefused(Bytes().Header(1).Field(B_RAW_TYPE, 0, "r", 0x80000000u).Raw("0123456789").data,
		"item count 2^31");
	ExpectRefused(Bytes().Header(1).Field(B_RAW_TYPE, 0, "r", 0x7fffffff).U32(1).Raw("x").data,
		"item count beyond the data");
	ExpectRefused(Bytes().Header(1).Field(B_RAW_TYPE, 1, "r", 0x7fffffff).U32(1).Raw("0123456789").data,
		"fixed items beyond the data");
	ExpectRefused(Bytes().Header(1).Field(B_RAW_TYPE, 1, "r", 0x7fffffff).U32(0).Raw("0123456789").data,
		"fixed items of size 0");
	ExpectRefused(Bytes().Header(1).Field(B_RAW_TYPE, 0, "r", 1).U32(0xffffffff).Raw("0123").data, "item length");
	ExpectRefused(Bytes().Header(1).U32(B_RAW_TYPE).U8(0).U32(0xfffffff0).Raw("name").data, "name length");
	ExpectRefused(Bytes().Header(1).Field(B_RAW_TYPE, 2, "r", 1).U32(0).data, "field flags");
	ExpectRefused(Bytes().Header(1).Field(B_RAW_TYPE, 0, "r", 0).U32(0).data, "empty field");
	ExpectRefused(Bytes().Header(1).Field(B_RAW_TYPE, 0, std::string("a\0b", 3), 1).U32(0).data, "NUL in name");
	ExpectRefused(Bytes().Header(2).Field(B_RAW_TYPE, 0, "r", 1).U32(0).Field(B_RAW_TYPE, 0, "r", 1).U32(0).data,
		"duplicate name");
	ExpectRefused(Bytes().Header(1).Field(B_INT32_TYPE, 1, "n", 1).U32(8).Raw("12345678").data, "int32 of 8 bytes");
	ExpectRefused(Bytes().Header(1).Field(B_INT32_TYPE, 0, "n", 1).U32(4).Raw("1234").data, "variable int32");
	ExpectRefused(Bytes().Header(1).Field(B_STRING_TYPE, 0, "s", 1).U32(2).Raw("ab").data, "string without NUL");
	ExpectRefused(Bytes().Header(1).Field(B_STRING_TYPE, 0, "s", 1).U32(0).data, "empty string item");
	ExpectRefused(Bytes().Header(1).Field(B_REF_TYPE, 0, "r", 1).U32(3).Raw("abc").data, "short ref");
	std::string inner = Bytes().Header(1).data;   // claims a field it lacks
	ExpectRefused(
		Bytes().Header(1).Field(B_MESSAGE_TYPE, 0, "m", 1).U32(uint32(inner.size())).Raw(inner).data, "bad nested");

	BMessage good;
	std::string valid = Bytes().Header(1, 'okay').Field(B_RAW_TYPE, 0, "r", 2).U32(0).U32(1).Raw("z").data;
	ASSERT_EQ(good.Unflatten(valid.data(), valid.size()), B_OK);
	EXPECT_EQ(good.what, uint32('okay'));
}

TEST(MessageCorruptInputTest, NestingIsBounded)
{
	// Built by hand: each level holds the previous one as its only item.
	auto wrap = [](const std::string& inner) {
		return Bytes().Header(1).Field(B_MESSAGE_TYPE, 0, "m", 1).U32(uint32(inner.size())).Raw(inner).data;
	};
	std::string flat = Bytes().Header(0).data;
	for (int level = 0; level < 64; level++)
		flat = wrap(flat);
	BMessage message;
	EXPECT_EQ(message.Unflatten(flat.data(), flat.size()), B_OK);
	ExpectRefused(wrap(flat), "65 levels");

	// Building through AddMessage stops at the same depth.
	BMessage deep;
	ASSERT_EQ(deep.Unflatten(flat.data(), flat.size()), B_OK);
	BMessage outer;
	EXPECT_EQ(outer.AddMessage("m", &deep), B_BAD_VALUE);
	EXPECT_TRUE(outer.IsEmpty());
	BMessage inner;
	ASSERT_EQ(deep.FindMessage("m", &inner), B_OK);
	EXPECT_EQ(outer.AddMessage("m", &inner), B_OK);
}

TEST(MessageInfoTest, ByIndexAndByName)
{
	BMessage message;
	message.AddInt32("i1", 1);
	message.AddString("s", "a");
	message.AddString("s", "b");
	message.AddInt32("i2", 2);
	message.AddRect("r", BRect());

	const char* name = nullptr;
	type_code type = 0;
	int32 count = 0;
	ASSERT_EQ(message.GetInfo(B_ANY_TYPE, 1, &name, &type, &count), B_OK);
	EXPECT_STREQ(name, "s");
	EXPECT_EQ(type, B_STRING_TYPE);
	EXPECT_EQ(count, 2);
	ASSERT_EQ(message.GetInfo(B_ANY_TYPE, 3, &name, &type), B_OK);
	EXPECT_STREQ(name, "r");
	EXPECT_EQ(message.GetInfo(B_ANY_TYPE, 4, &name, &type), B_BAD_INDEX);
	EXPECT_EQ(message.GetInfo(B_ANY_TYPE, -1, &name, &type), B_BAD_INDEX);

	ASSERT_EQ(message.GetInfo(B_INT32_TYPE, 1, &name, &type, &count), B_OK);
	EXPECT_STREQ(name, "i2");
	EXPECT_EQ(count, 1);
	EXPECT_EQ(message.GetInfo(B_INT32_TYPE, 2, &name, &type), B_BAD_INDEX);
	EXPECT_EQ(message.GetInfo(B_DOUBLE_TYPE, 0, &name, &type), B_BAD_TYPE);
	EXPECT_EQ(BMessage().GetInfo(B_ANY_TYPE, 0, &name, &type), B_BAD_INDEX);

	EXPECT_EQ(message.CountNames(B_ANY_TYPE), 4);
	EXPECT_EQ(message.CountNames(B_INT32_TYPE), 2);
	EXPECT_EQ(message.CountNames(B_POINT_TYPE), 0);

	ASSERT_EQ(message.GetInfo("s", &type, &count), B_OK);
	EXPECT_EQ(count, 2);
	bool fixedSize = true;
	ASSERT_EQ(message.GetInfo("s", &type, &fixedSize), B_OK);
	EXPECT_FALSE(fixedSize);
	ASSERT_EQ(message.GetInfo("r", &type, &fixedSize), B_OK);
	EXPECT_TRUE(fixedSize);
	EXPECT_EQ(message.GetInfo("none", &type, &count), B_NAME_NOT_FOUND);

	EXPECT_EQ(message.GetInt32("i2", -1), 2);
	EXPECT_EQ(message.GetInt32("s", -1), -1);
	EXPECT_EQ(message.GetInt64("i1", -1), -1);
	EXPECT_TRUE(message.GetBool("none", true));
	EXPECT_STREQ(message.GetString("s", nullptr), "a");
}

TEST(MessagePrintTest, DumpShowsFieldsAndNestedMessages)
{
	BMessage nested('nest');
	nested.AddString("title", "a \"quoted\" text");
	BMessage message('PrAd');
	message.AddInt32("count", 42);
	message.AddMessage("child", &nested);
	message.AddData("bytes", 0x00000001, "\x01\xff", 2, false);
	testing::internal::CaptureStdout();
	message.PrintToStream();
	std::string out = testing::internal::GetCapturedStdout();
	EXPECT_NE(out.find("'PrAd'"), std::string::npos) << out;
	EXPECT_NE(out.find("\"count\"[0] int32 = 42"), std::string::npos) << out;
	EXPECT_NE(out.find("'nest'"), std::string::npos) << out;
	EXPECT_NE(out.find("\"a \\\"quoted\\\" text\""), std::string::npos) << out;
	EXPECT_NE(out.find("2 bytes: 01 ff"), std::string::npos) << out;
}

class MessageEntryRefTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		std::string pattern = std::filesystem::temp_directory_path() / "tarnwick-ref-XXXXXX";
		ASSERT_NE(mkdtemp(pattern.data()), nullptr);
		fRoot = std::filesystem::canonical(pattern).string();
	}
	void TearDown() override { std::filesystem::remove_all(fRoot); }
	std::string fRoot;
};

TEST_F(MessageEntryRefTest, RefsNameTheDirectoryAndTheEntry)
{
	std::filesystem::create_directory(fRoot + "/real");
	std::filesystem::create_directory_symlink(fRoot + "/real", fRoot + "/link");
	struct stat st;
	ASSERT_EQ(stat((fRoot + "/real").c_str(), &st), 0);

	entry_ref ref;
	ASSERT_EQ(get_ref_for_path((fRoot + "/link/not yet there").c_str(), &ref), B_OK);
	EXPECT_EQ(ref.name, "not yet there");
	EXPECT_EQ(ref.dirPath, fRoot + "/real");
	EXPECT_EQ(ref.device, int64(st.st_dev));
	EXPECT_EQ(ref.directory, int64(st.st_ino));
	EXPECT_EQ(ref.Path(), fRoot + "/real/not yet there");

	// The entry itself is not resolved: a link stays a link.
	ASSERT_EQ(get_ref_for_path((fRoot + "/link/").c_str(), &ref), B_OK);
	EXPECT_EQ(ref.Path(), fRoot + "/link");
	ASSERT_EQ(get_ref_for_path((fRoot + "/real/..").c_str(), &ref), B_OK);
	EXPECT_EQ(ref.Path(), fRoot);
	ASSERT_EQ(get_ref_for_path("/", &ref), B_OK);
	EXPECT_EQ(ref.Path(), "/");

	EXPECT_EQ(get_ref_for_path((fRoot + "/missing/file").c_str(), &ref), B_ENTRY_NOT_FOUND);
	ASSERT_EQ(get_ref_for_path((fRoot + "/real/file").c_str(), &ref), B_OK);
	FILE* file = fopen(ref.Path().c_str(), "w");
	ASSERT_NE(file, nullptr);
	fclose(file);
	EXPECT_EQ(get_ref_for_path((fRoot + "/real/file/inside").c_str(), &ref), B_NOT_A_DIRECTORY);
	EXPECT_EQ(get_ref_for_path("", &ref), B_BAD_VALUE);
	EXPECT_EQ(entry_ref().Path(), "");
}

}   // namespace

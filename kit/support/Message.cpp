// BMessage: fields, items and this program's flattened format.
//
// Flattened format, version 1. Every integer is little-endian and of fixed
// width; there is no padding.
//
//   message := header field*
//   header  := magic[4] = "TwMs"
//              version  u16 = 1
//              flags    u16 = 0        (reserved; any other value is refused)
//              what     u32
//              count    u32            number of fields
//   field   := type     u32            type code
//              flags    u8             bit 0: fixed size; other bits must be 0
//              nameLen  u32            name bytes follow, no NUL; a name holds
//              name[nameLen]           no NUL and appears once per message
//              items    u32            1 .. 2^31-1
//              then, fixed size:       itemSize u32 (> 0), items * itemSize bytes
//              or, variable size:      items * (length u32, bytes[length])
//
// Items of the number types, bool, float, double, pointer, rect and point are
// fixed size, with the type's size, and are written element by element in
// little-endian order (a rect is four floats left, top, right, bottom; a
// point two floats x, y; a pointer a 64-bit value, meaningful only inside the
// process that wrote it). Other items are written as they are held:
//   string   the bytes and their terminating NUL (length >= 1)
//   message  a complete nested flattened message; nesting is limited to
//            kMaxNestingDepth levels below the outermost message
//   ref      device i64, directory i64, nameLen u32, name, pathLen u32,
//            directory path (exactly these bytes)
//   other    the bytes as given
// A flattening is exactly one message: bytes after it make it invalid.
#include "kit/support/Message.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>
#include <unordered_set>
#include <utility>

struct BMessage::Field {
	std::string name;
	type_code type = 0;
	bool fixedSize = false;
	std::vector<std::string> items;   // never empty while the field exists
};

namespace {

constexpr char kMagic[4] = {'T', 'w', 'M', 's'};
constexpr uint16 kFormatVersion = 1;
constexpr int kMaxNestingDepth = 64;
constexpr size_t kHeaderSize = 4 + 2 + 2 + 4 + 4;
// The smallest field: type, flags, empty name, count, and either an item size
// or the length of one empty item.
constexpr size_t kMinFieldSize = 4 + 1 + 4 + 4 + 4;
constexpr uint8 kFieldFixedSize = 0x01;
// Item, name and count limit: lengths are written as u32, indices are int32.
constexpr size_t kMaxLength = INT32_MAX;

static_assert(sizeof(BRect) == 4 * sizeof(float));
static_assert(sizeof(BPoint) == 2 * sizeof(float));
static_assert(sizeof(float) == 4 && sizeof(double) == 8);
static_assert(sizeof(void*) <= sizeof(uint64));

// Size of every item of a type that has one, else 0.
size_t TypeItemSize(type_code type)
{
	switch (type) {
		case B_INT8_TYPE:
		case B_UINT8_TYPE:
		case B_BOOL_TYPE:
			return 1;
		case B_INT16_TYPE:
		case B_UINT16_TYPE:
			return 2;
		case B_INT32_TYPE:
		case B_UINT32_TYPE:
		case B_FLOAT_TYPE:
			return 4;
		case B_INT64_TYPE:
		case B_UINT64_TYPE:
		case B_DOUBLE_TYPE:
		case B_POINTER_TYPE:
			return 8;
		case B_POINT_TYPE:
			return 8;
		case B_RECT_TYPE:
			return 16;
		default:
			return 0;
	}
}

// Width of the elements whose byte order the flattened form fixes (1: none).
size_t TypeElementWidth(type_code type)
{
	switch (type) {
		case B_POINT_TYPE:
		case B_RECT_TYPE:
			return 4;
		default: {
			size_t size = TypeItemSize(type);
			return size == 0 ? 1 : size;
		}
	}
}

// Copies `size` bytes, reversing each `width`-byte element on big-endian
// hosts (little-endian hosts copy as they are).
void CopyLittleEndian(void* to, const void* from, size_t size, size_t width)
{
	memcpy(to, from, size);
	if constexpr (std::endian::native == std::endian::big) {
		if (width > 1) {
			auto* bytes = static_cast<uint8*>(to);
			for (size_t offset = 0; offset + width <= size; offset += width) {
				for (size_t i = 0; i < width / 2; i++)
					std::swap(bytes[offset + i], bytes[offset + width - 1 - i]);
			}
		}
	}
}

// Bounds-checked little-endian reader over a byte range.
class Reader {
public:
	Reader(const uint8* data, size_t size) : fData(data), fSize(size) {}

	size_t Remaining() const { return fSize - fOffset; }

	bool Bytes(size_t count, const uint8** bytes)
	{
		if (count > Remaining())
			return false;
		*bytes = fData + fOffset;
		fOffset += count;
		return true;
	}

	template <typename T>
	bool Integer(T* value)
	{
		const uint8* bytes;
		if (!Bytes(sizeof(T), &bytes))
			return false;
		std::make_unsigned_t<T> result = 0;
		for (size_t i = 0; i < sizeof(T); i++)
			result |= std::make_unsigned_t<T>(bytes[i]) << (8 * i);
		*value = T(result);
		return true;
	}

private:
	const uint8* fData;
	size_t fSize;
	size_t fOffset = 0;
};

// Little-endian writer into a buffer whose size was computed beforehand.
class Writer {
public:
	explicit Writer(char* buffer) : fPosition(buffer) {}

	template <typename T>
	void Integer(T value)
	{
		auto bits = std::make_unsigned_t<T>(value);
		for (size_t i = 0; i < sizeof(T); i++)
			*fPosition++ = char(uint8(bits >> (8 * i)));
	}
	void Bytes(const void* data, size_t size)
	{
		if (size > 0)
			memcpy(fPosition, data, size);
		fPosition += size;
	}
	void Item(type_code type, const std::string& item)
	{
		CopyLittleEndian(fPosition, item.data(), item.size(), TypeElementWidth(type));
		fPosition += item.size();
	}
	char* Position() const { return fPosition; }

private:
	char* fPosition;
};

void AppendInteger(std::string* out, uint64 value, size_t width)
{
	for (size_t i = 0; i < width; i++)
		out->push_back(char(uint8(value >> (8 * i))));
}

// The held form of a ref item.
std::string EncodeRef(const entry_ref& ref)
{
	std::string out;
	out.reserve(8 + 8 + 4 + ref.name.size() + 4 + ref.dirPath.size());
	AppendInteger(&out, uint64(ref.device), 8);
	AppendInteger(&out, uint64(ref.directory), 8);
	AppendInteger(&out, ref.name.size(), 4);
	out += ref.name;
	AppendInteger(&out, ref.dirPath.size(), 4);
	out += ref.dirPath;
	return out;
}

// Decodes a ref item; false when the bytes are not exactly one ref. `ref`
// may be null to check only.
bool DecodeRef(const uint8* data, size_t size, entry_ref* ref)
{
	Reader reader(data, size);
	int64 device, directory;
	uint32 nameLength, pathLength;
	const uint8* name;
	const uint8* path;
	if (!reader.Integer(&device) || !reader.Integer(&directory) || !reader.Integer(&nameLength)
		|| !reader.Bytes(nameLength, &name) || !reader.Integer(&pathLength) || !reader.Bytes(pathLength, &path)
		|| reader.Remaining() != 0) {
		return false;
	}
	if (ref != nullptr) {
		ref->device = device;
		ref->directory = directory;
		ref->name.assign(reinterpret_cast<const char*>(name), nameLength);
		ref->dirPath.assign(reinterpret_cast<const char*>(path), pathLength);
	}
	return true;
}

std::string FourCCText(uint32 code)
{
	char text[5];
	for (int i = 0; i < 4; i++) {
		char c = char(code >> (24 - 8 * i));
		if (c < 0x20 || c > 0x7e)
			return std::to_string(code);
		text[i] = c;
	}
	text[4] = '\0';
	return std::string("'") + text + "'";
}

const char* TypeName(type_code type)
{
	switch (type) {
		case B_INT8_TYPE: return "int8";
		case B_UINT8_TYPE: return "uint8";
		case B_INT16_TYPE: return "int16";
		case B_UINT16_TYPE: return "uint16";
		case B_INT32_TYPE: return "int32";
		case B_UINT32_TYPE: return "uint32";
		case B_INT64_TYPE: return "int64";
		case B_UINT64_TYPE: return "uint64";
		case B_BOOL_TYPE: return "bool";
		case B_FLOAT_TYPE: return "float";
		case B_DOUBLE_TYPE: return "double";
		case B_STRING_TYPE: return "string";
		case B_POINTER_TYPE: return "pointer";
		case B_RECT_TYPE: return "rect";
		case B_POINT_TYPE: return "point";
		case B_MESSAGE_TYPE: return "message";
		case B_REF_TYPE: return "ref";
		case B_RAW_TYPE: return "raw";
		default: return nullptr;
	}
}

template <typename T>
T ItemValue(const std::string& item)
{
	T value;
	memcpy(&value, item.data(), sizeof(T));
	return value;
}

void PrintQuoted(const char* text, size_t size)
{
	putchar('"');
	for (size_t i = 0; i < size; i++) {
		auto c = uint8(text[i]);
		if (c == '"' || c == '\\')
			printf("\\%c", c);
		else if (c < 0x20 || c == 0x7f)
			printf("\\x%02x", c);
		else
			putchar(c);
	}
	putchar('"');
}

}   // namespace

// Everything that needs the private fields.
struct BMessage::Internal {
	// Checks an item for a field of `type` held by a message `depth` levels
	// below the outermost one: string items end with NUL, message and ref
	// items are well formed.
	static bool ValidItem(type_code type, const uint8* data, size_t size, int depth)
	{
		switch (type) {
			case B_STRING_TYPE:
				return size >= 1 && data[size - 1] == 0;
			case B_REF_TYPE:
				return DecodeRef(data, size, nullptr);
			case B_MESSAGE_TYPE: {
				Reader reader(data, size);
				return Parse(reader, depth + 1, nullptr) == B_OK && reader.Remaining() == 0;
			}
			default:
				return true;
		}
	}

	// Parses one flattened message at nesting level `depth`. With a null
	// `out` it only checks; otherwise it fills `out` (which must be empty).
	// Returns B_OK or B_BAD_DATA; allocates only what the bytes justify.
	static status_t Parse(Reader& reader, int depth, BMessage* out)
	{
		if (depth > kMaxNestingDepth)
			return B_BAD_DATA;
		const uint8* magic;
		uint16 version, flags;
		uint32 what, fieldCount;
		if (!reader.Bytes(sizeof(kMagic), &magic) || memcmp(magic, kMagic, sizeof(kMagic)) != 0
			|| !reader.Integer(&version) || version != kFormatVersion || !reader.Integer(&flags) || flags != 0
			|| !reader.Integer(&what) || !reader.Integer(&fieldCount) || fieldCount > reader.Remaining() / kMinFieldSize) {
			return B_BAD_DATA;
		}
		if (out != nullptr) {
			out->what = what;
			out->fFields.reserve(fieldCount);
		}
		std::unordered_set<std::string_view> names;
		for (uint32 f = 0; f < fieldCount; f++) {
			status_t status = ParseField(reader, depth, &names, out);
			if (status != B_OK)
				return status;
		}
		return B_OK;
	}

	static status_t ParseField(Reader& reader, int depth, std::unordered_set<std::string_view>* names, BMessage* out)
	{
		uint32 type, nameLength, count;
		uint8 flags;
		const uint8* nameBytes;
		if (!reader.Integer(&type) || !reader.Integer(&flags) || (flags & ~kFieldFixedSize) != 0
			|| !reader.Integer(&nameLength) || !reader.Bytes(nameLength, &nameBytes))
			return B_BAD_DATA;
		std::string_view name(reinterpret_cast<const char*>(nameBytes), nameLength);
		if (name.find('\0') != std::string_view::npos || !names->insert(name).second)
			return B_BAD_DATA;
		if (!reader.Integer(&count) || count == 0 || count > kMaxLength)
			return B_BAD_DATA;

		bool fixedSize = (flags & kFieldFixedSize) != 0;
		size_t typeSize = TypeItemSize(type);
		if (typeSize != 0 && !fixedSize)
			return B_BAD_DATA;
		uint32 itemSize = 0;
		if (fixedSize) {
			if (!reader.Integer(&itemSize) || itemSize == 0 || (typeSize != 0 && itemSize != typeSize)
				|| count > reader.Remaining() / itemSize)
				return B_BAD_DATA;
		} else if (count > reader.Remaining() / 4) {
			return B_BAD_DATA;
		}

		Field* field = nullptr;
		if (out != nullptr) {
			field = &out->fFields.emplace_back();
			field->name.assign(name);
			field->type = type;
			field->fixedSize = fixedSize;
			field->items.reserve(count);
		}
		size_t width = TypeElementWidth(type);
		for (uint32 i = 0; i < count; i++) {
			uint32 size = itemSize;
			const uint8* data;
			if ((!fixedSize && !reader.Integer(&size)) || !reader.Bytes(size, &data)
				|| !ValidItem(type, data, size, depth))
				return B_BAD_DATA;
			if (field != nullptr) {
				std::string& item = field->items.emplace_back(size, '\0');
				CopyLittleEndian(item.data(), data, size, width);
			}
		}
		return B_OK;
	}

	// Exact flattened size, or B_NO_MEMORY when it cannot be represented.
	static ssize_t FlattenedSize(const BMessage& message)
	{
		uint64 total = kHeaderSize;
		if (message.fFields.size() > UINT32_MAX)
			return B_NO_MEMORY;
		for (const Field& field : message.fFields) {
			total += 4 + 1 + 4 + field.name.size() + 4;
			if (field.fixedSize)
				total += 4 + uint64(field.items.size()) * field.items.front().size();
			else {
				for (const std::string& item : field.items)
					total += 4 + item.size();
			}
		}
		if (total > uint64(SSIZE_MAX))
			return B_NO_MEMORY;
		return ssize_t(total);
	}

	static void Write(const BMessage& message, char* buffer)
	{
		Writer writer(buffer);
		writer.Bytes(kMagic, sizeof(kMagic));
		writer.Integer(kFormatVersion);
		writer.Integer(uint16(0));
		writer.Integer(message.what);
		writer.Integer(uint32(message.fFields.size()));
		for (const Field& field : message.fFields) {
			writer.Integer(field.type);
			writer.Integer(uint8(field.fixedSize ? kFieldFixedSize : 0));
			writer.Integer(uint32(field.name.size()));
			writer.Bytes(field.name.data(), field.name.size());
			writer.Integer(uint32(field.items.size()));
			if (field.fixedSize)
				writer.Integer(uint32(field.items.front().size()));
			for (const std::string& item : field.items) {
				if (!field.fixedSize)
					writer.Integer(uint32(item.size()));
				writer.Item(field.type, item);
			}
		}
	}

	// Finds the item `index` of `name`; `type` B_ANY_TYPE matches any field.
	static status_t FindItem(const BMessage& message, const char* name, type_code type, int32 index,
		const std::string** item)
	{
		if (name == nullptr)
			return B_BAD_VALUE;
		const Field* field = message.FindField(name);
		if (field == nullptr)
			return B_NAME_NOT_FOUND;
		if (type != B_ANY_TYPE && type != field->type)
			return B_BAD_TYPE;
		if (index < 0 || size_t(index) >= field->items.size())
			return B_BAD_INDEX;
		*item = &field->items[index];
		return B_OK;
	}

	template <typename T>
	static status_t FindValue(const BMessage& message, const char* name, type_code type, int32 index, T* value)
	{
		if (value == nullptr)
			return B_BAD_VALUE;
		const std::string* item;
		status_t status = FindItem(message, name, type, index, &item);
		if (status == B_OK)
			*value = ItemValue<T>(*item);
		return status;
	}

	static status_t Add(BMessage& message, const char* name, type_code type, std::string item, bool isFixedSize)
	{
		if (name == nullptr || type == B_ANY_TYPE || item.size() > kMaxLength)
			return B_BAD_VALUE;
		size_t typeSize = TypeItemSize(type);
		bool fixedSize = typeSize != 0 ? true : isFixedSize;
		if ((typeSize != 0 && item.size() != typeSize)
			|| !ValidItem(type, reinterpret_cast<const uint8*>(item.data()), item.size(), 0))
			return B_BAD_VALUE;
		Field* field = message.FindField(name);
		if (field != nullptr) {
			if (field->type != type || field->fixedSize != fixedSize)
				return B_BAD_TYPE;
			if (fixedSize && item.size() != field->items.front().size())
				return B_BAD_VALUE;
			if (field->items.size() >= kMaxLength)
				return B_NO_MEMORY;
			field->items.push_back(std::move(item));
			return B_OK;
		}
		if ((fixedSize && item.empty()) || strlen(name) > kMaxLength)
			return B_BAD_VALUE;
		Field newField;
		newField.name = name;
		newField.type = type;
		newField.fixedSize = fixedSize;
		newField.items.push_back(std::move(item));
		message.fFields.push_back(std::move(newField));
		return B_OK;
	}

	static status_t Replace(BMessage& message, const char* name, type_code type, int32 index, std::string item)
	{
		if (name == nullptr)
			return B_BAD_VALUE;
		Field* field = message.FindField(name);
		if (field == nullptr)
			return B_NAME_NOT_FOUND;
		if (field->type != type)
			return B_BAD_TYPE;
		if (index < 0 || size_t(index) >= field->items.size())
			return B_BAD_INDEX;
		if (item.size() > kMaxLength || (field->fixedSize && item.size() != field->items.front().size())
			|| !ValidItem(type, reinterpret_cast<const uint8*>(item.data()), item.size(), 0))
			return B_BAD_VALUE;
		field->items[index] = std::move(item);
		return B_OK;
	}

	template <typename T>
	static std::string Bytes(const T& value)
	{
		return std::string(reinterpret_cast<const char*>(&value), sizeof(T));
	}

	static std::string FlatItem(const BMessage& message)
	{
		std::string flat;
		if (message.Flatten(&flat) != B_OK)
			flat.clear();   // refused by the item check
		return flat;
	}

	static std::string StringItem(const char* string, size_t length)
	{
		std::string item(string, length);
		item.push_back('\0');
		return item;
	}

	// Runs `action`, turning an allocation failure into B_NO_MEMORY.
	template <typename Action>
	static status_t Guarded(Action&& action)
	{
		try {
			return action();
		} catch (const std::bad_alloc&) {
			return B_NO_MEMORY;
		}
	}

	static void Print(const BMessage& message, int indent)
	{
		printf("BMessage(what = %s) {\n", FourCCText(message.what).c_str());
		for (const Field& field : message.fFields) {
			for (size_t i = 0; i < field.items.size(); i++) {
				printf("%*s", indent + 4, "");
				PrintQuoted(field.name.data(), field.name.size());
				const char* typeName = TypeName(field.type);
				if (typeName != nullptr)
					printf("[%zu] %s = ", i, typeName);
				else
					printf("[%zu] type %s = ", i, FourCCText(field.type).c_str());
				PrintItem(field.type, field.items[i], indent + 4);
				putchar('\n');
			}
		}
		printf("%*s}", indent, "");
	}

	static void PrintItem(type_code type, const std::string& item, int indent)
	{
		switch (type) {
			case B_INT8_TYPE: printf("%d", ItemValue<int8>(item)); break;
			case B_UINT8_TYPE: printf("%u", ItemValue<uint8>(item)); break;
			case B_INT16_TYPE: printf("%d", ItemValue<int16>(item)); break;
			case B_UINT16_TYPE: printf("%u", ItemValue<uint16>(item)); break;
			case B_INT32_TYPE: printf("%" PRId32, ItemValue<int32>(item)); break;
			case B_UINT32_TYPE: printf("%" PRIu32, ItemValue<uint32>(item)); break;
			case B_INT64_TYPE: printf("%" PRId64, ItemValue<int64>(item)); break;
			case B_UINT64_TYPE: printf("%" PRIu64, ItemValue<uint64>(item)); break;
			case B_BOOL_TYPE: printf("%s", ItemValue<uint8>(item) != 0 ? "true" : "false"); break;
			case B_FLOAT_TYPE: printf("%g", double(ItemValue<float>(item))); break;
			case B_DOUBLE_TYPE: printf("%g", ItemValue<double>(item)); break;
			case B_POINTER_TYPE: printf("0x%" PRIx64, ItemValue<uint64>(item)); break;
			case B_STRING_TYPE: PrintQuoted(item.data(), item.size() - 1); break;
			case B_RECT_TYPE: {
				auto rect = ItemValue<BRect>(item);
				printf("BRect(%g, %g, %g, %g)", double(rect.left), double(rect.top), double(rect.right),
					double(rect.bottom));
				break;
			}
			case B_POINT_TYPE: {
				auto point = ItemValue<BPoint>(item);
				printf("BPoint(%g, %g)", double(point.x), double(point.y));
				break;
			}
			case B_REF_TYPE: {
				entry_ref ref;
				DecodeRef(reinterpret_cast<const uint8*>(item.data()), item.size(), &ref);
				printf("entry_ref(device %" PRId64 ", directory %" PRId64 ", ", ref.device, ref.directory);
				PrintQuoted(ref.dirPath.data(), ref.dirPath.size());
				printf(", ");
				PrintQuoted(ref.name.data(), ref.name.size());
				putchar(')');
				break;
			}
			case B_MESSAGE_TYPE: {
				BMessage nested;
				if (nested.Unflatten(item.data(), item.size()) == B_OK)
					Print(nested, indent);
				else
					printf("(unreadable message)");
				break;
			}
			default: {
				printf("%zu bytes", item.size());
				size_t shown = std::min<size_t>(item.size(), 32);
				if (shown > 0)
					putchar(':');
				for (size_t i = 0; i < shown; i++)
					printf(" %02x", uint8(item[i]));
				if (shown < item.size())
					printf(" ...");
				break;
			}
		}
	}
};

// #pragma mark - Construction

BMessage::BMessage() = default;

BMessage::BMessage(uint32 what) : what(what) {}

BMessage::BMessage(const BMessage& other) : what(other.what), fFields(other.fFields) {}

BMessage& BMessage::operator=(const BMessage& other)
{
	if (this != &other) {
		what = other.what;
		fFields = other.fFields;
	}
	return *this;
}

BMessage::~BMessage() = default;

BMessage::Field* BMessage::FindField(const char* name)
{
	for (Field& field : fFields) {
		if (field.name == name)
			return &field;
	}
	return nullptr;
}

const BMessage::Field* BMessage::FindField(const char* name) const
{
	return const_cast<BMessage*>(this)->FindField(name);
}

// #pragma mark - Field information

status_t BMessage::GetInfo(type_code typeRequested, int32 index, const char** nameFound, type_code* typeFound,
	int32* countFound) const
{
	if (index < 0)
		return B_BAD_INDEX;
	bool typeSeen = false;
	int32 position = 0;
	for (const Field& field : fFields) {
		if (typeRequested != B_ANY_TYPE && field.type != typeRequested)
			continue;
		typeSeen = true;
		if (position++ != index)
			continue;
		if (nameFound != nullptr)
			*nameFound = field.name.c_str();
		if (typeFound != nullptr)
			*typeFound = field.type;
		if (countFound != nullptr)
			*countFound = int32(field.items.size());
		return B_OK;
	}
	return typeRequested != B_ANY_TYPE && !typeSeen ? B_BAD_TYPE : B_BAD_INDEX;
}

status_t BMessage::GetInfo(const char* name, type_code* typeFound, int32* countFound) const
{
	if (name == nullptr)
		return B_BAD_VALUE;
	const Field* field = FindField(name);
	if (field == nullptr)
		return B_NAME_NOT_FOUND;
	if (typeFound != nullptr)
		*typeFound = field->type;
	if (countFound != nullptr)
		*countFound = int32(field->items.size());
	return B_OK;
}

status_t BMessage::GetInfo(const char* name, type_code* typeFound, bool* fixedSize) const
{
	if (name == nullptr)
		return B_BAD_VALUE;
	const Field* field = FindField(name);
	if (field == nullptr)
		return B_NAME_NOT_FOUND;
	if (typeFound != nullptr)
		*typeFound = field->type;
	if (fixedSize != nullptr)
		*fixedSize = field->fixedSize;
	return B_OK;
}

int32 BMessage::CountNames(type_code type) const
{
	int32 count = 0;
	for (const Field& field : fFields) {
		if (type == B_ANY_TYPE || field.type == type)
			count++;
	}
	return count;
}

bool BMessage::IsEmpty() const
{
	return fFields.empty();
}

void BMessage::MakeEmpty()
{
	fFields.clear();
}

status_t BMessage::Rename(const char* oldEntry, const char* newEntry)
{
	if (oldEntry == nullptr || newEntry == nullptr)
		return B_BAD_VALUE;
	Field* field = FindField(oldEntry);
	if (field == nullptr)
		return B_NAME_NOT_FOUND;
	if (field->name == newEntry)
		return B_OK;
	if (FindField(newEntry) != nullptr)
		return B_NAME_IN_USE;
	return Internal::Guarded([&] {
		field->name = newEntry;
		return B_OK;
	});
}

void BMessage::PrintToStream() const
{
	Internal::Print(*this, 0);
	putchar('\n');
	fflush(stdout);
}

// #pragma mark - Flattening

ssize_t BMessage::FlattenedSize() const
{
	return Internal::FlattenedSize(*this);
}

status_t BMessage::Flatten(char* buffer, ssize_t size) const
{
	if (buffer == nullptr)
		return B_BAD_VALUE;
	ssize_t needed = Internal::FlattenedSize(*this);
	if (needed < 0)
		return status_t(needed);
	if (size < needed)
		return B_BAD_VALUE;
	Internal::Write(*this, buffer);
	return B_OK;
}

status_t BMessage::Flatten(std::string* out) const
{
	if (out == nullptr)
		return B_BAD_VALUE;
	ssize_t needed = Internal::FlattenedSize(*this);
	if (needed < 0)
		return status_t(needed);
	return Internal::Guarded([&] {
		out->resize(size_t(needed));
		Internal::Write(*this, out->data());
		return B_OK;
	});
}

status_t BMessage::Unflatten(const char* buffer, size_t size)
{
	if (buffer == nullptr && size > 0) {
		MakeEmpty();
		what = 0;
		return B_BAD_VALUE;
	}
	// Parsed aside first: `buffer` may lie inside one of this message's items.
	status_t status = Internal::Guarded([&] {
		BMessage parsed;
		Reader reader(reinterpret_cast<const uint8*>(buffer), size);
		status_t result = Internal::Parse(reader, 0, &parsed);
		if (result == B_OK && reader.Remaining() != 0)
			result = B_BAD_DATA;
		if (result == B_OK) {
			what = parsed.what;
			fFields.swap(parsed.fFields);
		}
		return result;
	});
	if (status != B_OK) {
		std::vector<Field>().swap(fFields);
		what = 0;
	}
	return status;
}

// #pragma mark - Adding

status_t BMessage::AddData(const char* name, type_code type, const void* data, ssize_t numBytes, bool isFixedSize,
	int32 count)
{
	if (data == nullptr || numBytes < 0 || size_t(numBytes) > kMaxLength)
		return B_BAD_VALUE;
	return Internal::Guarded([&] {
		return Internal::Add(*this, name, type, std::string(static_cast<const char*>(data), size_t(numBytes)),
			isFixedSize);
	});
}

status_t BMessage::AddRect(const char* name, BRect rect)
{
	return AddData(name, B_RECT_TYPE, &rect, sizeof(rect));
}

status_t BMessage::AddPoint(const char* name, BPoint point)
{
	return AddData(name, B_POINT_TYPE, &point, sizeof(point));
}

status_t BMessage::AddString(const char* name, const char* string)
{
	if (string == nullptr)
		return B_BAD_VALUE;
	return Internal::Guarded(
		[&] { return Internal::Add(*this, name, B_STRING_TYPE, Internal::StringItem(string, strlen(string)), false); });
}

status_t BMessage::AddString(const char* name, const std::string& string)
{
	return Internal::Guarded([&] {
		return Internal::Add(*this, name, B_STRING_TYPE, Internal::StringItem(string.data(), string.size()), false);
	});
}

status_t BMessage::AddInt8(const char* name, int8 value) { return AddData(name, B_INT8_TYPE, &value, 1); }
status_t BMessage::AddUInt8(const char* name, uint8 value) { return AddData(name, B_UINT8_TYPE, &value, 1); }
status_t BMessage::AddInt16(const char* name, int16 value) { return AddData(name, B_INT16_TYPE, &value, 2); }
status_t BMessage::AddUInt16(const char* name, uint16 value) { return AddData(name, B_UINT16_TYPE, &value, 2); }
status_t BMessage::AddInt32(const char* name, int32 value) { return AddData(name, B_INT32_TYPE, &value, 4); }
status_t BMessage::AddUInt32(const char* name, uint32 value) { return AddData(name, B_UINT32_TYPE, &value, 4); }
status_t BMessage::AddInt64(const char* name, int64 value) { return AddData(name, B_INT64_TYPE, &value, 8); }
status_t BMessage::AddUInt64(const char* name, uint64 value) { return AddData(name, B_UINT64_TYPE, &value, 8); }
status_t BMessage::AddFloat(const char* name, float value) { return AddData(name, B_FLOAT_TYPE, &value, 4); }
status_t BMessage::AddDouble(const char* name, double value) { return AddData(name, B_DOUBLE_TYPE, &value, 8); }

status_t BMessage::AddBool(const char* name, bool value)
{
	uint8 byte = value ? 1 : 0;
	return AddData(name, B_BOOL_TYPE, &byte, 1);
}

status_t BMessage::AddPointer(const char* name, const void* pointer)
{
	uint64 value = uint64(reinterpret_cast<uintptr_t>(pointer));
	return AddData(name, B_POINTER_TYPE, &value, sizeof(value));
}

status_t BMessage::AddMessage(const char* name, const BMessage* message)
{
	if (message == nullptr)
		return B_BAD_VALUE;
	return Internal::Guarded(
		[&] { return Internal::Add(*this, name, B_MESSAGE_TYPE, Internal::FlatItem(*message), false); });
}

status_t BMessage::AddRef(const char* name, const entry_ref* ref)
{
	if (ref == nullptr)
		return B_BAD_VALUE;
	return Internal::Guarded([&] { return Internal::Add(*this, name, B_REF_TYPE, EncodeRef(*ref), false); });
}

// #pragma mark - Removing

status_t BMessage::RemoveData(const char* name, int32 index)
{
	if (name == nullptr)
		return B_BAD_VALUE;
	Field* field = FindField(name);
	if (field == nullptr)
		return B_NAME_NOT_FOUND;
	if (index < 0 || size_t(index) >= field->items.size())
		return B_BAD_INDEX;
	field->items.erase(field->items.begin() + index);
	if (field->items.empty())
		fFields.erase(fFields.begin() + (field - fFields.data()));
	return B_OK;
}

status_t BMessage::RemoveName(const char* name)
{
	if (name == nullptr)
		return B_BAD_VALUE;
	Field* field = FindField(name);
	if (field == nullptr)
		return B_NAME_NOT_FOUND;
	fFields.erase(fFields.begin() + (field - fFields.data()));
	return B_OK;
}

// #pragma mark - Finding

status_t BMessage::FindData(const char* name, type_code type, int32 index, const void** data,
	ssize_t* numBytes) const
{
	if (data == nullptr)
		return B_BAD_VALUE;
	const std::string* item;
	status_t status = Internal::FindItem(*this, name, type, index, &item);
	if (status != B_OK)
		return status;
	*data = item->data();
	if (numBytes != nullptr)
		*numBytes = ssize_t(item->size());
	return B_OK;
}

status_t BMessage::FindData(const char* name, type_code type, const void** data, ssize_t* numBytes) const
{
	return FindData(name, type, 0, data, numBytes);
}

status_t BMessage::FindRect(const char* name, BRect* rect) const { return FindRect(name, 0, rect); }
status_t BMessage::FindRect(const char* name, int32 index, BRect* rect) const
{
	return Internal::FindValue(*this, name, B_RECT_TYPE, index, rect);
}

status_t BMessage::FindPoint(const char* name, BPoint* point) const { return FindPoint(name, 0, point); }
status_t BMessage::FindPoint(const char* name, int32 index, BPoint* point) const
{
	return Internal::FindValue(*this, name, B_POINT_TYPE, index, point);
}

status_t BMessage::FindString(const char* name, const char** string) const { return FindString(name, 0, string); }
status_t BMessage::FindString(const char* name, int32 index, const char** string) const
{
	if (string == nullptr)
		return B_BAD_VALUE;
	const std::string* item;
	status_t status = Internal::FindItem(*this, name, B_STRING_TYPE, index, &item);
	if (status == B_OK)
		*string = item->c_str();
	return status;
}

status_t BMessage::FindString(const char* name, std::string* string) const { return FindString(name, 0, string); }
status_t BMessage::FindString(const char* name, int32 index, std::string* string) const
{
	if (string == nullptr)
		return B_BAD_VALUE;
	const std::string* item;
	status_t status = Internal::FindItem(*this, name, B_STRING_TYPE, index, &item);
	if (status != B_OK)
		return status;
	return Internal::Guarded([&] {
		string->assign(item->data(), item->size() - 1);
		return B_OK;
	});
}

#define FIND_FIXED(Name, Type, Code)                                                  \
	status_t BMessage::Find##Name(const char* name, Type* value) const                \
	{                                                                                 \
		return Internal::FindValue(*this, name, Code, 0, value);                      \
	}                                                                                 \
	status_t BMessage::Find##Name(const char* name, int32 index, Type* value) const   \
	{                                                                                 \
		return Internal::FindValue(*this, name, Code, index, value);                  \
	}

FIND_FIXED(Int8, int8, B_INT8_TYPE)
FIND_FIXED(UInt8, uint8, B_UINT8_TYPE)
FIND_FIXED(Int16, int16, B_INT16_TYPE)
FIND_FIXED(UInt16, uint16, B_UINT16_TYPE)
FIND_FIXED(Int32, int32, B_INT32_TYPE)
FIND_FIXED(UInt32, uint32, B_UINT32_TYPE)
FIND_FIXED(Int64, int64, B_INT64_TYPE)
FIND_FIXED(UInt64, uint64, B_UINT64_TYPE)
FIND_FIXED(Float, float, B_FLOAT_TYPE)
FIND_FIXED(Double, double, B_DOUBLE_TYPE)
#undef FIND_FIXED

status_t BMessage::FindBool(const char* name, bool* value) const { return FindBool(name, 0, value); }
status_t BMessage::FindBool(const char* name, int32 index, bool* value) const
{
	if (value == nullptr)
		return B_BAD_VALUE;
	uint8 byte;
	status_t status = Internal::FindValue(*this, name, B_BOOL_TYPE, index, &byte);
	if (status == B_OK)
		*value = byte != 0;
	return status;
}

status_t BMessage::FindPointer(const char* name, void** pointer) const { return FindPointer(name, 0, pointer); }
status_t BMessage::FindPointer(const char* name, int32 index, void** pointer) const
{
	if (pointer == nullptr)
		return B_BAD_VALUE;
	uint64 value;
	status_t status = Internal::FindValue(*this, name, B_POINTER_TYPE, index, &value);
	if (status == B_OK)
		*pointer = reinterpret_cast<void*>(uintptr_t(value));
	return status;
}

status_t BMessage::FindMessage(const char* name, BMessage* message) const { return FindMessage(name, 0, message); }
status_t BMessage::FindMessage(const char* name, int32 index, BMessage* message) const
{
	if (message == nullptr)
		return B_BAD_VALUE;
	const std::string* item;
	status_t status = Internal::FindItem(*this, name, B_MESSAGE_TYPE, index, &item);
	if (status != B_OK)
		return status;
	return message->Unflatten(item->data(), item->size());
}

status_t BMessage::FindRef(const char* name, entry_ref* ref) const { return FindRef(name, 0, ref); }
status_t BMessage::FindRef(const char* name, int32 index, entry_ref* ref) const
{
	if (ref == nullptr)
		return B_BAD_VALUE;
	const std::string* item;
	status_t status = Internal::FindItem(*this, name, B_REF_TYPE, index, &item);
	if (status != B_OK)
		return status;
	return Internal::Guarded([&] {
		DecodeRef(reinterpret_cast<const uint8*>(item->data()), item->size(), ref);
		return B_OK;
	});
}

// #pragma mark - Replacing

status_t BMessage::ReplaceData(const char* name, type_code type, int32 index, const void* data, ssize_t numBytes)
{
	if (data == nullptr || numBytes < 0 || size_t(numBytes) > kMaxLength)
		return B_BAD_VALUE;
	return Internal::Guarded([&] {
		return Internal::Replace(*this, name, type, index, std::string(static_cast<const char*>(data), size_t(numBytes)));
	});
}

status_t BMessage::ReplaceData(const char* name, type_code type, const void* data, ssize_t numBytes)
{
	return ReplaceData(name, type, 0, data, numBytes);
}

status_t BMessage::ReplaceRect(const char* name, BRect rect) { return ReplaceRect(name, 0, rect); }
status_t BMessage::ReplaceRect(const char* name, int32 index, BRect rect)
{
	return ReplaceData(name, B_RECT_TYPE, index, &rect, sizeof(rect));
}

status_t BMessage::ReplacePoint(const char* name, BPoint point) { return ReplacePoint(name, 0, point); }
status_t BMessage::ReplacePoint(const char* name, int32 index, BPoint point)
{
	return ReplaceData(name, B_POINT_TYPE, index, &point, sizeof(point));
}

status_t BMessage::ReplaceString(const char* name, const char* string) { return ReplaceString(name, 0, string); }
status_t BMessage::ReplaceString(const char* name, int32 index, const char* string)
{
	if (string == nullptr)
		return B_BAD_VALUE;
	return Internal::Guarded([&] {
		return Internal::Replace(*this, name, B_STRING_TYPE, index, Internal::StringItem(string, strlen(string)));
	});
}

status_t BMessage::ReplaceString(const char* name, const std::string& string)
{
	return Internal::Guarded([&] {
		return Internal::Replace(*this, name, B_STRING_TYPE, 0, Internal::StringItem(string.data(), string.size()));
	});
}

status_t BMessage::ReplaceInt8(const char* name, int8 value) { return ReplaceData(name, B_INT8_TYPE, &value, 1); }
status_t BMessage::ReplaceInt8(const char* name, int32 index, int8 value)
{
	return ReplaceData(name, B_INT8_TYPE, index, &value, 1);
}
status_t BMessage::ReplaceUInt8(const char* name, uint8 value) { return ReplaceData(name, B_UINT8_TYPE, &value, 1); }
status_t BMessage::ReplaceInt16(const char* name, int16 value) { return ReplaceData(name, B_INT16_TYPE, &value, 2); }
status_t BMessage::ReplaceUInt16(const char* name, uint16 value)
{
	return ReplaceData(name, B_UINT16_TYPE, &value, 2);
}
status_t BMessage::ReplaceInt32(const char* name, int32 value) { return ReplaceData(name, B_INT32_TYPE, &value, 4); }
status_t BMessage::ReplaceInt32(const char* name, int32 index, int32 value)
{
	return ReplaceData(name, B_INT32_TYPE, index, &value, 4);
}
status_t BMessage::ReplaceUInt32(const char* name, uint32 value)
{
	return ReplaceData(name, B_UINT32_TYPE, &value, 4);
}
status_t BMessage::ReplaceInt64(const char* name, int64 value) { return ReplaceData(name, B_INT64_TYPE, &value, 8); }
status_t BMessage::ReplaceInt64(const char* name, int32 index, int64 value)
{
	return ReplaceData(name, B_INT64_TYPE, index, &value, 8);
}
status_t BMessage::ReplaceUInt64(const char* name, uint64 value)
{
	return ReplaceData(name, B_UINT64_TYPE, &value, 8);
}
status_t BMessage::ReplaceBool(const char* name, bool value) { return ReplaceBool(name, 0, value); }
status_t BMessage::ReplaceBool(const char* name, int32 index, bool value)
{
	uint8 byte = value ? 1 : 0;
	return ReplaceData(name, B_BOOL_TYPE, index, &byte, 1);
}
status_t BMessage::ReplaceFloat(const char* name, float value) { return ReplaceData(name, B_FLOAT_TYPE, &value, 4); }
status_t BMessage::ReplaceDouble(const char* name, double value)
{
	return ReplaceData(name, B_DOUBLE_TYPE, &value, 8);
}

status_t BMessage::ReplacePointer(const char* name, const void* pointer) { return ReplacePointer(name, 0, pointer); }
status_t BMessage::ReplacePointer(const char* name, int32 index, const void* pointer)
{
	uint64 value = uint64(reinterpret_cast<uintptr_t>(pointer));
	return ReplaceData(name, B_POINTER_TYPE, index, &value, sizeof(value));
}

status_t BMessage::ReplaceMessage(const char* name, const BMessage* message)
{
	return ReplaceMessage(name, 0, message);
}
status_t BMessage::ReplaceMessage(const char* name, int32 index, const BMessage* message)
{
	if (message == nullptr)
		return B_BAD_VALUE;
	return Internal::Guarded(
		[&] { return Internal::Replace(*this, name, B_MESSAGE_TYPE, index, Internal::FlatItem(*message)); });
}

status_t BMessage::ReplaceRef(const char* name, const entry_ref* ref) { return ReplaceRef(name, 0, ref); }
status_t BMessage::ReplaceRef(const char* name, int32 index, const entry_ref* ref)
{
	if (ref == nullptr)
		return B_BAD_VALUE;
	return Internal::Guarded([&] { return Internal::Replace(*this, name, B_REF_TYPE, index, EncodeRef(*ref)); });
}

// #pragma mark - Presence and convenience readers

bool BMessage::HasData(const char* name, type_code type, int32 index) const
{
	const std::string* item;
	return Internal::FindItem(*this, name, type, index, &item) == B_OK;
}

bool BMessage::HasRect(const char* name, int32 index) const { return HasData(name, B_RECT_TYPE, index); }
bool BMessage::HasPoint(const char* name, int32 index) const { return HasData(name, B_POINT_TYPE, index); }
bool BMessage::HasString(const char* name, int32 index) const { return HasData(name, B_STRING_TYPE, index); }
bool BMessage::HasInt8(const char* name, int32 index) const { return HasData(name, B_INT8_TYPE, index); }
bool BMessage::HasInt16(const char* name, int32 index) const { return HasData(name, B_INT16_TYPE, index); }
bool BMessage::HasInt32(const char* name, int32 index) const { return HasData(name, B_INT32_TYPE, index); }
bool BMessage::HasInt64(const char* name, int32 index) const { return HasData(name, B_INT64_TYPE, index); }
bool BMessage::HasBool(const char* name, int32 index) const { return HasData(name, B_BOOL_TYPE, index); }
bool BMessage::HasFloat(const char* name, int32 index) const { return HasData(name, B_FLOAT_TYPE, index); }
bool BMessage::HasDouble(const char* name, int32 index) const { return HasData(name, B_DOUBLE_TYPE, index); }
bool BMessage::HasPointer(const char* name, int32 index) const { return HasData(name, B_POINTER_TYPE, index); }
bool BMessage::HasMessage(const char* name, int32 index) const { return HasData(name, B_MESSAGE_TYPE, index); }
bool BMessage::HasRef(const char* name, int32 index) const { return HasData(name, B_REF_TYPE, index); }

int32 BMessage::GetInt32(const char* name, int32 defaultValue) const
{
	int32 value;
	return FindInt32(name, &value) == B_OK ? value : defaultValue;
}

int64 BMessage::GetInt64(const char* name, int64 defaultValue) const
{
	int64 value;
	return FindInt64(name, &value) == B_OK ? value : defaultValue;
}

bool BMessage::GetBool(const char* name, bool defaultValue) const
{
	bool value;
	return FindBool(name, &value) == B_OK ? value : defaultValue;
}

const char* BMessage::GetString(const char* name, const char* defaultValue) const
{
	const char* value;
	return FindString(name, &value) == B_OK ? value : defaultValue;
}

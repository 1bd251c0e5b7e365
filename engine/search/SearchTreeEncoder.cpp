#include "engine/search/SearchTreeEncoder.h"

#include <functional>
#include <limits>
#include <string_view>
#include <vector>

#include "engine/protocol/Limits.h"

namespace P2P::Shared::Search::SearchParam {
namespace {

constexpr uint8_t kTagFileSize = 0x02;
constexpr uint8_t kTagFileType = 0x03;
constexpr uint8_t kTagFileFormat = 0x04;
constexpr uint8_t kTagSources = 0x15;
constexpr uint8_t kTagCompleteSources = 0x30;

// A media field is named by a string in modes 0 and 1, by a one-byte tag id otherwise.
struct CMediaTag {
  std::string_view name;
  uint8_t id;
};
constexpr CMediaTag kTagBitrate{"bitrate", 0xD4};
constexpr CMediaTag kTagLength{"length", 0xD3};
constexpr CMediaTag kTagCodec{"codec", 0xD5};
constexpr CMediaTag kTagTitle{"Title", 0xD2};
constexpr CMediaTag kTagAlbum{"Album", 0xD1};
constexpr CMediaTag kTagArtist{"Artist", 0xD0};

using Protocol::CStreamWriter;

bool UsesNamedTags(int32_t mode) { return mode == 0 || mode == 1; }

bool WriteOperator(CStreamWriter& writer, ESearchOperator op) {
  return writer.WriteUInt8(0x00) && writer.WriteUInt8(static_cast<uint8_t>(op));
}

bool WriteShortString(CStreamWriter& writer, std::string_view text) {
  return text.size() <= Protocol::kMaxWireStringLength &&
         writer.WriteUInt16(static_cast<uint16_t>(text.size())) && writer.WriteString(text);
}

bool WriteTerm(CStreamWriter& writer, std::string_view text) {
  return writer.WriteUInt8(0x01) && WriteShortString(writer, text);
}

bool WriteTagId(CStreamWriter& writer, uint8_t id) {
  return writer.WriteUInt16(1) && writer.WriteUInt8(id);
}

bool WriteTagName(CStreamWriter& writer, const CMediaTag& tag, int32_t mode) {
  return UsesNamedTags(mode) ? WriteShortString(writer, tag.name) : WriteTagId(writer, tag.id);
}

// Modes 0 and 1 make bounds inclusive; the adjustment saturates at the top of the value's
// width, so "at most 4294967295" never wraps to "less than 0".
template <typename Value>
Value WireBound(Value value, uint8_t op, int32_t mode) {
  if (!UsesNamedTags(mode)) return value;
  if (op == kSearchGreater) return value == 0 ? 0 : value - 1;
  return value == std::numeric_limits<Value>::max() ? value : value + 1;
}

// A value that fits 32 bits is written as one, exactly as servers without large files read
// it; a larger one (a size above 4 GiB) as a 64-bit value.
bool WriteNumeric(CStreamWriter& writer, uint64_t value, uint8_t op, int32_t mode) {
  if (value <= std::numeric_limits<uint32_t>::max())
    return writer.WriteUInt8(0x03) &&
           writer.WriteUInt32(WireBound(static_cast<uint32_t>(value), op, mode)) &&
           writer.WriteUInt8(op);
  return writer.WriteUInt8(0x08) && writer.WriteUInt64(WireBound(value, op, mode)) &&
         writer.WriteUInt8(op);
}

using CConstraintWriter = std::function<bool(CStreamWriter&)>;

// The present constraints, in wire order.
std::vector<CConstraintWriter> CollectConstraints(const _tagStructSearchParams& p) {
  std::vector<CConstraintWriter> out;
  const int32_t mode = p.mode;
  auto stringById = [&out](const std::string& value, uint8_t id) {
    if (value.empty()) return;
    out.push_back([&value, id](CStreamWriter& w) {
      return w.WriteUInt8(0x02) && WriteShortString(w, value) && WriteTagId(w, id);
    });
  };
  auto stringByName = [&out, mode](const std::string& value, const CMediaTag& tag) {
    if (value.empty()) return;
    out.push_back([&value, &tag, mode](CStreamWriter& w) {
      return w.WriteUInt8(0x02) && WriteShortString(w, value) && WriteTagName(w, tag, mode);
    });
  };
  auto numericById = [&out, mode](uint64_t value, uint8_t op, uint8_t id) {
    if (value == 0) return;
    out.push_back([value, op, id, mode](CStreamWriter& w) {
      return WriteNumeric(w, value, op, mode) && WriteTagId(w, id);
    });
  };
  auto numericByName = [&out, mode](uint32_t value, uint8_t op, const CMediaTag& tag) {
    if (value == 0) return;
    out.push_back([value, op, &tag, mode](CStreamWriter& w) {
      return WriteNumeric(w, value, op, mode) && WriteTagName(w, tag, mode);
    });
  };

  stringById(p.fileType, kTagFileType);
  numericById(p.minSize, kSearchGreater, kTagFileSize);
  numericById(p.maxSize, kSearchLess, kTagFileSize);
  // A source count is a minimum: the user wants files that are at least this available.
  numericById(p.sources, kSearchGreater, kTagSources);
  stringById(p.format, kTagFileFormat);
  numericById(p.completeSources, kSearchGreater, kTagCompleteSources);
  numericByName(p.bitrate, kSearchGreater, kTagBitrate);
  numericByName(p.length, kSearchGreater, kTagLength);
  stringByName(p.codec, kTagCodec);
  stringByName(p.title, kTagTitle);
  stringByName(p.album, kTagAlbum);
  stringByName(p.artist, kTagArtist);
  return out;
}

bool WriteExpression(CStreamWriter& writer, const CSearchExprList& expression) {
  for (const CSearchExprItem& item : expression) {
    const bool written =
        item.isOperator ? WriteOperator(writer, item.op) : WriteTerm(writer, item.text);
    if (!written) return false;
  }
  return true;
}

}  // namespace

bool EncodeSearchTree(const CSearchExprList& expression, const _tagStructSearchParams& params,
                      CStreamWriter& writer) {
  if (!IsWellFormed(expression)) return false;
  const std::vector<CConstraintWriter> constraints = CollectConstraints(params);

  if (expression.size() == 1) {
    // term AND (c1 AND (c2 ...)): each AND precedes the item it joins to the rest.
    if (!constraints.empty() && !WriteOperator(writer, ESearchOperator::kAnd)) return false;
    if (!WriteTerm(writer, expression.front().text)) return false;
    for (size_t i = 0; i < constraints.size(); ++i) {
      const bool last = i + 1 == constraints.size();
      if (!last && !WriteOperator(writer, ESearchOperator::kAnd)) return false;
      if (!constraints[i](writer)) return false;
    }
    return true;
  }

  // ((expr AND c1) AND c2) ...: all the ANDs first.
  for (size_t i = 0; i < constraints.size(); ++i)
    if (!WriteOperator(writer, ESearchOperator::kAnd)) return false;
  if (!WriteExpression(writer, expression)) return false;
  for (const CConstraintWriter& constraint : constraints)
    if (!constraint(writer)) return false;
  return true;
}

}  // namespace P2P::Shared::Search::SearchParam

#include "framework/JsonWriter.h"

#include <cmath>
#include <cstdio>

#include "framework/Utf8.h"

namespace OSTREL::Util {

std::string JsonQuote(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const size_t length = OSTREL::DecodeUtf8(text, i).length;
      if (length == 0) {
        out += "\\ufffd";
        ++i;
      } else {
        out.append(text.substr(i, length));
        i += length;
      }
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  out += '"';
  return out;
}

void CJsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!hasMember_.empty()) {
    if (hasMember_.back()) text_ += ',';
    hasMember_.back() = true;
  }
}

void CJsonWriter::Open(char bracket) {
  BeforeValue();
  text_ += bracket;
  hasMember_.push_back(false);
}

void CJsonWriter::Close(char bracket) {
  if (!hasMember_.empty()) hasMember_.pop_back();
  text_ += bracket;
}

CJsonWriter& CJsonWriter::BeginObject() { Open('{'); return *this; }
CJsonWriter& CJsonWriter::EndObject() { Close('}'); return *this; }
CJsonWriter& CJsonWriter::BeginArray() { Open('['); return *this; }
CJsonWriter& CJsonWriter::EndArray() { Close(']'); return *this; }

CJsonWriter& CJsonWriter::Key(std::string_view name) {
  BeforeValue();
  text_ += JsonQuote(name);
  text_ += ':';
  afterKey_ = true;
  return *this;
}

CJsonWriter& CJsonWriter::String(std::string_view value) {
  BeforeValue();
  text_ += JsonQuote(value);
  return *this;
}

CJsonWriter& CJsonWriter::Decimal(double value) {
  BeforeValue();
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", std::isfinite(value) ? value : 0.0);
  text_ += text;
  return *this;
}

CJsonWriter& CJsonWriter::Number(int64_t value) {
  BeforeValue();
  text_ += std::to_string(value);
  return *this;
}

CJsonWriter& CJsonWriter::Unsigned(uint64_t value) {
  BeforeValue();
  text_ += std::to_string(value);
  return *this;
}

CJsonWriter& CJsonWriter::Bool(bool value) {
  BeforeValue();
  text_ += value ? "true" : "false";
  return *this;
}

CJsonWriter& CJsonWriter::Null() {
  BeforeValue();
  text_ += "null";
  return *this;
}

}  // namespace OSTREL::Util

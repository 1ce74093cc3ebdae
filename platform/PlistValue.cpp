#include "platform/PlistValue.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

namespace tilo::platform {
namespace {

// libplist counts dates from 2001-01-01, the property-list epoch.
constexpr double kPlistEpochOffset = 978307200.0;

struct NodeDeleter {
  void operator()(void* node) const { plist_free(node); }
};
using NodePtr = std::unique_ptr<void, NodeDeleter>;

template <typename Free>
std::string takeBuffer(char* buffer, std::uint32_t length, Free release) {
  std::string out = buffer ? std::string(buffer, length) : std::string();
  if (buffer) release(buffer);
  return out;
}

}  // namespace

std::optional<PlistValue> PlistValue::fromNode(plist_t node) {
  if (!node) return std::nullopt;
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      std::uint8_t value = 0;
      plist_get_bool_val(node, &value);
      return PlistValue(value != 0);
    }
    case PLIST_UINT: {
      // Negative integers are stored as their two's-complement bit pattern.
      std::uint64_t value = 0;
      plist_get_uint_val(node, &value);
      return PlistValue(static_cast<std::int64_t>(value));
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      return PlistValue(value);
    }
    case PLIST_STRING: {
      char* value = nullptr;
      plist_get_string_val(node, &value);
      std::string out = value ? value : "";
      std::free(value);
      return PlistValue(std::move(out));
    }
    case PLIST_DATA: {
      char* value = nullptr;
      std::uint64_t length = 0;
      plist_get_data_val(node, &value, &length);
      Bytes out(value, value + (value ? length : 0));
      std::free(value);
      return PlistValue(std::move(out));
    }
    case PLIST_DATE: {
      std::int32_t seconds = 0, micros = 0;
      plist_get_date_val(node, &seconds, &micros);
      return PlistValue(Date{kPlistEpochOffset + seconds + micros / 1e6});
    }
    case PLIST_ARRAY: {
      Array out;
      std::uint32_t size = plist_array_get_size(node);
      out.reserve(size);
      for (std::uint32_t i = 0; i < size; ++i) {
        if (auto item = fromNode(plist_array_get_item(node, i))) out.push_back(std::move(*item));
      }
      return PlistValue(std::move(out));
    }
    case PLIST_DICT: {
      Dictionary out;
      plist_dict_iter iter = nullptr;
      plist_dict_new_iter(node, &iter);
      for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iter, &key, &item);
        if (!item) {
          std::free(key);
          break;
        }
        if (auto value = fromNode(item); value && key) out.insert_or_assign(key, std::move(*value));
        std::free(key);
      }
      std::free(iter);
      return PlistValue(std::move(out));
    }
    default:
      return std::nullopt;
  }
}

plist_t PlistValue::toNode() const {
  struct Visitor {
    plist_t operator()(const std::string& v) const { return plist_new_string(v.c_str()); }
    plist_t operator()(std::int64_t v) const {
      return plist_new_uint(static_cast<std::uint64_t>(v));
    }
    plist_t operator()(double v) const { return plist_new_real(v); }
    plist_t operator()(bool v) const { return plist_new_bool(v ? 1 : 0); }
    plist_t operator()(const Bytes& v) const {
      return plist_new_data(reinterpret_cast<const char*>(v.data()), v.size());
    }
    plist_t operator()(const Date& v) const {
      double since2001 = v.secondsSince1970 - kPlistEpochOffset;
      double seconds = std::floor(since2001);
      return plist_new_date(static_cast<std::int32_t>(seconds),
                            static_cast<std::int32_t>(std::lround((since2001 - seconds) * 1e6)));
    }
    plist_t operator()(const Array& v) const {
      plist_t node = plist_new_array();
      for (const auto& item : v) plist_array_append_item(node, item.toNode());
      return node;
    }
    plist_t operator()(const Dictionary& v) const {
      plist_t node = plist_new_dict();
      for (const auto& [key, item] : v) plist_dict_set_item(node, key.c_str(), item.toNode());
      return node;
    }
  };
  return std::visit(Visitor{}, storage_);
}

std::optional<PlistValue> PlistValue::parse(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
    return std::nullopt;
  }
  plist_t root = nullptr;
  plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
  NodePtr owner(root);
  return fromNode(root);
}

std::string PlistValue::toBinary() const {
  NodePtr node(toNode());
  char* buffer = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(node.get(), &buffer, &length);
  return takeBuffer(buffer, length, plist_to_bin_free);
}

std::string PlistValue::toXml() const {
  NodePtr node(toNode());
  char* buffer = nullptr;
  std::uint32_t length = 0;
  plist_to_xml(node.get(), &buffer, &length);
  return takeBuffer(buffer, length, plist_to_xml_free);
}

}  // namespace tilo::platform

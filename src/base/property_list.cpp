#include "base/property_list.h"

#include "base/property_list_guard.h"

#include <plist/plist.h>

#include <fmt/chrono.h>
#include <fmt/format.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>

namespace hb::platform {
namespace {

struct NodeDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using Node = std::unique_ptr<void, NodeDeleter>;

// Deep enough for any real settings file; deeper input is refused rather
// than risking the stack.
constexpr int maximumDepth = 256;

std::optional<PlistValue> fromNode(plist_t node, int depth)
{
    if (!node || depth > maximumDepth)
        return std::nullopt;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t flag = 0;
        plist_get_bool_val(node, &flag);
        return PlistValue(flag != 0);
    }
    case PLIST_UINT: {
        // Integers travel as 64 bits; negative ones in two's complement.
        std::uint64_t bits = 0;
        plist_get_uint_val(node, &bits);
        return PlistValue(static_cast<std::int64_t>(bits));
    }
    case PLIST_REAL: {
        double real = 0;
        plist_get_real_val(node, &real);
        return PlistValue(real);
    }
    case PLIST_STRING: {
        // Not plist_get_string_val: it asserts (aborts) on a text with an embedded NUL.
        std::uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return PlistValue(text ? std::string(text, length) : std::string());
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        std::uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        PlistData result(bytes, bytes + (bytes ? length : 0));
        std::free(bytes);
        return PlistValue(std::move(result));
    }
    case PLIST_DATE: {
        std::int32_t seconds = 0, microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        return PlistValue(PlistDate{seconds + microseconds / 1e6});
    }
    case PLIST_UID: {
        std::uint64_t index = 0;
        plist_get_uid_val(node, &index);
        return PlistValue(PlistUid{index});
    }
    case PLIST_ARRAY: {
        PlistArray result;
        const auto count = plist_array_get_size(node);
        result.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            auto item = fromNode(plist_array_get_item(node, i), depth + 1);
            if (!item)
                return std::nullopt;
            result.push_back(std::move(*item));
        }
        return PlistValue(std::move(result));
    }
    case PLIST_DICT: {
        PlistDictionary result;
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        for (;;) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iterator, &key, &item);
            if (!item) {
                std::free(key);
                break;
            }
            std::string name = key ? key : "";
            std::free(key);
            auto value = fromNode(item, depth + 1);
            if (!value) {
                std::free(iterator);
                return std::nullopt;
            }
            result.insert_or_assign(std::move(name), std::move(*value));
        }
        std::free(iterator);
        return PlistValue(std::move(result));
    }
    default:
        return std::nullopt;
    }
}

Node toNode(const PlistValue& value, int depth);

struct NodeMaker {
    int depth;

    Node operator()(bool flag) const { return Node(plist_new_bool(flag)); }
    Node operator()(std::int64_t integer) const { return Node(plist_new_uint(static_cast<std::uint64_t>(integer))); }
    Node operator()(double real) const { return Node(plist_new_real(real)); }
    Node operator()(const std::string& text) const { return Node(plist_new_string(text.c_str())); }
    Node operator()(const PlistData& bytes) const
    {
        return Node(plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    Node operator()(const PlistDate& date) const
    {
        if (!std::isfinite(date.secondsSince2001) || std::fabs(date.secondsSince2001) >= 2147483647.0)
            return nullptr;
        const double seconds = std::floor(date.secondsSince2001);
        const auto microseconds = std::lround((date.secondsSince2001 - seconds) * 1e6);
        return Node(plist_new_date(static_cast<std::int32_t>(seconds), static_cast<std::int32_t>(microseconds)));
    }
    Node operator()(const PlistUid& uid) const { return Node(plist_new_uid(uid.index)); }
    Node operator()(const PlistArray& array) const
    {
        Node node(plist_new_array());
        for (const auto& item : array) {
            auto child = toNode(item, depth + 1);
            if (!child)
                return nullptr;
            plist_array_append_item(node.get(), child.release());
        }
        return node;
    }
    Node operator()(const PlistDictionary& dictionary) const
    {
        Node node(plist_new_dict());
        for (const auto& [key, item] : dictionary) {
            auto child = toNode(item, depth + 1);
            if (!child)
                return nullptr;
            plist_dict_set_item(node.get(), key.c_str(), child.release());
        }
        return node;
    }
};

Node toNode(const PlistValue& value, int depth)
{
    if (depth > maximumDepth)
        return nullptr;
    return std::visit(NodeMaker{depth}, static_cast<const PlistValue::variant&>(value));
}

bool hasEmbeddedNul(const PlistValue& value)
{
    if (auto* text = value.as<std::string>())
        return text->find('\0') != std::string::npos;
    if (auto* array = value.as<PlistArray>()) {
        for (const auto& item : *array)
            if (hasEmbeddedNul(item))
                return true;
    }
    if (auto* dictionary = value.as<PlistDictionary>()) {
        for (const auto& [key, item] : *dictionary)
            if (key.find('\0') != std::string::npos || hasEmbeddedNul(item))
                return true;
    }
    return false;
}

} // namespace

std::optional<PlistValue> parsePropertyList(std::string_view bytes)
{
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max() || !propertyListSafeToParse(bytes))
        return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    Node owner(root);
    return fromNode(root, 0);
}

std::optional<std::string> serializePropertyList(const PlistValue& value, PlistFormat format)
{
    // libplist keeps texts NUL-terminated: such a text could not come back whole.
    if (hasEmbeddedNul(value))
        return std::nullopt;
    auto node = toNode(value, 0);
    if (!node)
        return std::nullopt;
    char* bytes = nullptr;
    std::uint32_t length = 0;
    if (format == PlistFormat::xml)
        plist_to_xml(node.get(), &bytes, &length);
    else
        plist_to_bin(node.get(), &bytes, &length);
    if (!bytes)
        return std::nullopt;
    std::string result(bytes, length);
    if (format == PlistFormat::xml)
        plist_to_xml_free(bytes);
    else
        plist_to_bin_free(bytes);
    return result;
}

namespace {

struct Describer {
    std::string operator()(bool flag) const { return flag ? "true" : "false"; }
    std::string operator()(std::int64_t integer) const { return fmt::format("{}", integer); }
    std::string operator()(double real) const { return fmt::format("{}", real); }
    std::string operator()(const std::string& text) const { return text; }
    std::string operator()(const PlistData& bytes) const { return fmt::format("<{} bytes>", bytes.size()); }
    std::string operator()(const PlistDate& date) const
    {
        using namespace std::chrono;
        if (!std::isfinite(date.secondsSince2001) || std::fabs(date.secondsSince2001) > 1e11)
            return fmt::format("<date {}>", date.secondsSince2001);
        constexpr auto epoch2001 = sys_days{year{2001} / January / 1};
        const auto time = epoch2001 + duration_cast<seconds>(duration<double>(date.secondsSince2001));
        return fmt::format("{:%Y-%m-%dT%H:%M:%SZ}", time);
    }
    std::string operator()(const PlistUid& uid) const { return fmt::format("UID({})", uid.index); }
    std::string operator()(const PlistArray& array) const
    {
        std::string result = "[";
        for (const auto& item : array)
            result += (result.size() > 1 ? ", " : "") + describe(item);
        return result + "]";
    }
    std::string operator()(const PlistDictionary& dictionary) const
    {
        std::string result = "{";
        for (const auto& [key, item] : dictionary)
            result += (result.size() > 1 ? ", " : "") + key + ": " + describe(item);
        return result + "}";
    }
};

} // namespace

std::string describe(const PlistValue& value)
{
    return std::visit(Describer{}, static_cast<const PlistValue::variant&>(value));
}

} // namespace hb::platform

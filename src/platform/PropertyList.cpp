#include "platform/PropertyList.h"

#include <cmath>
#include <cstdio>
#include <sstream>

#include <date/date.h>
#include <pugixml.hpp>

namespace glowmere::platform {

namespace {

void writeNode(pugi::xml_node parent, const Value& v) {
    switch (v.type()) {
    case Value::Type::Null: break;
    case Value::Type::Bool: parent.append_child(v.boolValue() ? "true" : "false"); break;
    case Value::Type::Integer:
        parent.append_child("integer").text().set(std::to_string(v.integerValue()).c_str());
        break;
    case Value::Type::Real: {
        double d = v.doubleValue();
        std::string text;
        if (std::isnan(d))
            text = "nan";
        else if (std::isinf(d))
            text = d < 0 ? "-inf" : "+inf";
        else {
            char buf[40];
            std::snprintf(buf, sizeof buf, "%.17g", d);
            text = buf;
        }
        parent.append_child("real").text().set(text.c_str());
        break;
    }
    case Value::Type::Text: parent.append_child("string").text().set(v.text().c_str()); break;
    case Value::Type::Date: parent.append_child("date").text().set(formatDate(v.date()).c_str()); break;
    case Value::Type::List: {
        auto array = parent.append_child("array");
        for (const auto& item : v.asList()) writeNode(array, item);
        break;
    }
    case Value::Type::Map: {
        auto dict = parent.append_child("dict");
        for (const auto& [key, item] : v.asMap()) {
            if (item.isNull()) continue;
            dict.append_child("key").text().set(key.c_str());
            writeNode(dict, item);
        }
        break;
    }
    }
}

struct ReadError {
    std::string message;
};

bool isNumberText(std::string_view s, bool allowFraction) {
    if (s.empty()) return false;
    std::size_t i = 0;
    if (s[0] == '+' || s[0] == '-') i = 1;
    bool digits = false;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c >= '0' && c <= '9')
            digits = true;
        else if (!allowFraction)
            return false;
        else if (c != '.' && c != 'e' && c != 'E' && c != '+' && c != '-')
            return false;
    }
    return digits;
}

Value readNode(pugi::xml_node node, int depth) {
    if (depth > 512) throw ReadError{"nesting too deep"};
    std::string_view name = node.name();
    std::string text = node.text().get();
    if (name == "string") return Value(text);
    if (name == "integer") {
        if (!isNumberText(text, false)) throw ReadError{"bad integer '" + text + "'"};
        return Value(static_cast<long long>(leadingInteger(text)));
    }
    if (name == "real") {
        if (text == "nan") return Value(std::nan(""));
        if (text == "+inf" || text == "inf") return Value(HUGE_VAL);
        if (text == "-inf") return Value(-HUGE_VAL);
        if (!isNumberText(text, true)) throw ReadError{"bad real '" + text + "'"};
        return Value(leadingReal(text));
    }
    if (name == "true") return Value(true);
    if (name == "false") return Value(false);
    if (name == "data") return Value(text);
    if (name == "date") {
        std::istringstream in(text);
        Value::Date d;
        in >> date::parse("%Y-%m-%dT%H:%M:%SZ", d);
        if (in.fail()) throw ReadError{"bad date '" + text + "'"};
        return Value(d);
    }
    if (name == "array") {
        Value::List list;
        for (auto child : node.children())
            if (child.type() == pugi::node_element) list.push_back(readNode(child, depth + 1));
        return Value(std::move(list));
    }
    if (name == "dict") {
        Value::Map map;
        std::optional<std::string> key;
        for (auto child : node.children()) {
            if (child.type() != pugi::node_element) continue;
            if (std::string_view(child.name()) == "key") {
                if (key) throw ReadError{"key '" + *key + "' without a value"};
                key = child.text().get();
            } else {
                if (!key) throw ReadError{"value without a key"};
                map[*key] = readNode(child, depth + 1);
                key.reset();
            }
        }
        if (key) throw ReadError{"key '" + *key + "' without a value"};
        return Value(std::move(map));
    }
    throw ReadError{"unknown element <" + std::string(name) + ">"};
}

}  // namespace

std::string writePropertyList(const Value& root) {
    pugi::xml_document doc;
    auto decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    auto doctype = doc.append_child(pugi::node_doctype);
    doctype.set_value(
        "plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\"");
    auto plist = doc.append_child("plist");
    plist.append_attribute("version") = "1.0";
    writeNode(plist, root);
    std::ostringstream out;
    doc.save(out, "\t", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

std::optional<Value> readPropertyList(std::string_view xml, std::string* error) {
    pugi::xml_document doc;
    auto result = doc.load_buffer(xml.data(), xml.size(), (pugi::parse_default & ~pugi::parse_eol) | pugi::parse_ws_pcdata_single,
                                  pugi::encoding_utf8);
    if (!result) {
        if (error) *error = std::string("not well-formed XML: ") + result.description();
        return std::nullopt;
    }
    auto plist = doc.child("plist");
    if (!plist) {
        if (error) *error = "no <plist> element";
        return std::nullopt;
    }
    pugi::xml_node root;
    for (auto child : plist.children())
        if (child.type() == pugi::node_element) {
            if (root) {
                if (error) *error = "more than one root value";
                return std::nullopt;
            }
            root = child;
        }
    if (!root) {
        if (error) *error = "empty <plist>";
        return std::nullopt;
    }
    try {
        return readNode(root, 0);
    } catch (const ReadError& e) {
        if (error) *error = e.message;
        return std::nullopt;
    }
}

}  // namespace glowmere::platform

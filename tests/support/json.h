// A small strict JSON reader for tests: enough to check the CLI's output parses and to read it back.
#pragma once
#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Json> array;
    std::map<std::string, Json> object;

    const Json& operator[](const std::string& key) const { return object.at(key); }
    const Json& operator[](std::size_t i) const { return array.at(i); }
    bool isNull() const { return kind == Kind::Null; }
    std::vector<std::string> strings() const {
        std::vector<std::string> out;
        for (const auto& v : array) out.push_back(v.string);
        return out;
    }

    // Throws std::runtime_error on anything that is not exactly one JSON value.
    static Json parse(std::string_view text) {
        std::size_t i = 0;
        Json v = value(text, i);
        ws(text, i);
        if (i != text.size()) throw std::runtime_error("trailing text at " + std::to_string(i));
        return v;
    }

private:
    static void ws(std::string_view t, std::size_t& i) {
        while (i < t.size() && (t[i] == ' ' || t[i] == '\n' || t[i] == '\r' || t[i] == '\t')) ++i;
    }
    static void expect(std::string_view t, std::size_t& i, std::string_view word) {
        if (t.substr(i, word.size()) != word)
            throw std::runtime_error("expected " + std::string(word) + " at " + std::to_string(i));
        i += word.size();
    }
    static void utf8(std::string& out, unsigned cp) {
        if (cp < 0x80) out += static_cast<char>(cp);
        else if (cp < 0x800) out += static_cast<char>(0xC0 | cp >> 6), out += static_cast<char>(0x80 | (cp & 0x3F));
        else if (cp < 0x10000)
            out += static_cast<char>(0xE0 | cp >> 12), out += static_cast<char>(0x80 | (cp >> 6 & 0x3F)),
                out += static_cast<char>(0x80 | (cp & 0x3F));
        else
            out += static_cast<char>(0xF0 | cp >> 18), out += static_cast<char>(0x80 | (cp >> 12 & 0x3F)),
                out += static_cast<char>(0x80 | (cp >> 6 & 0x3F)), out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    static std::string str(std::string_view t, std::size_t& i) {
        expect(t, i, "\"");
        std::string out;
        while (true) {
            if (i >= t.size()) throw std::runtime_error("unterminated string");
            const char c = t[i++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) throw std::runtime_error("control character in string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (i >= t.size()) throw std::runtime_error("bad escape");
            const char e = t[i++];
            switch (e) {
                case '"':
                case '\\':
                case '/': out += e; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    if (i + 4 > t.size()) throw std::runtime_error("bad \\u");
                    utf8(out, static_cast<unsigned>(std::stoul(std::string(t.substr(i, 4)), nullptr, 16)));
                    i += 4;
                    break;
                }
                default: throw std::runtime_error("bad escape");
            }
        }
    }
    static Json value(std::string_view t, std::size_t& i) {
        ws(t, i);
        if (i >= t.size()) throw std::runtime_error("unexpected end");
        Json v;
        const char c = t[i];
        if (c == 'n') expect(t, i, "null");
        else if (c == 't') expect(t, i, "true"), v.kind = Kind::Bool, v.boolean = true;
        else if (c == 'f') expect(t, i, "false"), v.kind = Kind::Bool;
        else if (c == '"') v.kind = Kind::String, v.string = str(t, i);
        else if (c == '[') {
            v.kind = Kind::Array;
            ++i;
            ws(t, i);
            if (i < t.size() && t[i] == ']') return ++i, v;
            while (true) {
                v.array.push_back(value(t, i));
                ws(t, i);
                if (i < t.size() && t[i] == ',') {
                    ++i;
                    continue;
                }
                expect(t, i, "]");
                return v;
            }
        } else if (c == '{') {
            v.kind = Kind::Object;
            ++i;
            ws(t, i);
            if (i < t.size() && t[i] == '}') return ++i, v;
            while (true) {
                ws(t, i);
                std::string key = str(t, i);
                ws(t, i);
                expect(t, i, ":");
                v.object[key] = value(t, i);
                ws(t, i);
                if (i < t.size() && t[i] == ',') {
                    ++i;
                    continue;
                }
                expect(t, i, "}");
                return v;
            }
        } else {
            const std::size_t start = i;
            if (t[i] == '-') ++i;
            while (i < t.size() && (std::isdigit(static_cast<unsigned char>(t[i])) || t[i] == '.' || t[i] == 'e' ||
                                    t[i] == 'E' || t[i] == '+' || t[i] == '-'))
                ++i;
            if (start == i) throw std::runtime_error("unexpected character at " + std::to_string(i));
            v.kind = Kind::Number;
            v.number = std::strtod(std::string(t.substr(start, i - start)).c_str(), nullptr);
        }
        return v;
    }
};

#include "refserver/xml_check.h"

#include <cctype>

namespace refsrv {
namespace {

bool NameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == ':' || c == '.'; }

// Resolves entities; false on a raw '<' or a bad '&' reference.
bool Unescape(const std::string& in, std::string& out, bool attribute) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '<') return false;
        if (attribute && c == '"') return false;
        if (c != '&') {
            out.push_back(c);
            continue;
        }
        const size_t semi = in.find(';', i);
        if (semi == std::string::npos) return false;
        const std::string ent = in.substr(i + 1, semi - i - 1);
        if (ent == "amp") out.push_back('&');
        else if (ent == "lt") out.push_back('<');
        else if (ent == "gt") out.push_back('>');
        else if (ent == "quot") out.push_back('"');
        else if (ent == "apos") out.push_back('\'');
        else if (ent.size() > 1 && ent[0] == '#') {
            // Numeric references are accepted; the descriptor never needs them decoded.
            for (size_t k = 1; k < ent.size(); ++k)
                if (!std::isxdigit(static_cast<unsigned char>(ent[k])) && !(k == 1 && ent[k] == 'x')) return false;
            out.push_back('?');
        } else {
            return false;
        }
        i = semi;
    }
    return true;
}

}  // namespace

bool CheckXml(const std::string& text, std::vector<XmlElement>& elements, std::string& error) {
    elements.clear();
    std::vector<std::string> open;
    size_t i = 0;
    bool rootSeen = false;
    if (text.compare(0, 5, "<?xml") == 0) {
        const size_t end = text.find("?>");
        if (end == std::string::npos) return error = "unterminated declaration", false;
        i = end + 2;
    }
    while (i < text.size()) {
        const size_t lt = text.find('<', i);
        std::string chunk = text.substr(i, lt == std::string::npos ? std::string::npos : lt - i), plain;
        if (!Unescape(chunk, plain, false)) return error = "bad character data", false;
        if (open.empty() && plain.find_first_not_of(" \t\r\n") != std::string::npos) return error = "text outside the root", false;
        if (lt == std::string::npos) break;
        i = lt + 1;
        if (text.compare(i, 1, "/") == 0) {
            const size_t gt = text.find('>', i);
            if (gt == std::string::npos) return error = "unterminated end tag", false;
            std::string name = text.substr(i + 1, gt - i - 1);
            while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
            if (open.empty() || open.back() != name) return error = "mismatched end tag </" + name + ">", false;
            open.pop_back();
            i = gt + 1;
            continue;
        }
        XmlElement el;
        while (i < text.size() && NameChar(text[i])) el.name.push_back(text[i++]);
        if (el.name.empty()) return error = "bad tag name", false;
        if (open.empty() && rootSeen) return error = "second root element", false;
        bool selfClosing = false;
        for (;;) {
            while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
            if (i >= text.size()) return error = "unterminated start tag", false;
            if (text[i] == '>') {
                ++i;
                break;
            }
            if (text.compare(i, 2, "/>") == 0) {
                i += 2;
                selfClosing = true;
                break;
            }
            std::string attr;
            while (i < text.size() && NameChar(text[i])) attr.push_back(text[i++]);
            if (attr.empty() || text.compare(i, 2, "=\"") != 0) return error = "bad attribute in <" + el.name + ">", false;
            i += 2;
            const size_t q = text.find('"', i);
            if (q == std::string::npos) return error = "unterminated attribute value", false;
            std::string value;
            if (!Unescape(text.substr(i, q - i), value, true)) return error = "bad attribute value in <" + el.name + ">", false;
            if (el.attributes.count(attr)) return error = "duplicate attribute " + attr, false;
            el.attributes[attr] = value;
            i = q + 1;
            if (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])) && text[i] != '>' && text[i] != '/')
                return error = "attributes not separated", false;
        }
        rootSeen = true;
        elements.push_back(el);
        if (!selfClosing) open.push_back(el.name);
    }
    if (!open.empty()) return error = "unclosed element <" + open.back() + ">", false;
    if (!rootSeen) return error = "no root element", false;
    return true;
}

}  // namespace refsrv

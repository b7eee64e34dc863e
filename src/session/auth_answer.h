// Reading the authentication answer: plain text searched for fragments, not parsed as XML.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace zk {

// Text between the first `open` and the next `close` after it; empty when either is missing.
std::wstring TextBetween(const std::wstring& text, const std::wstring& open, const std::wstring& close);
// The value of attribute `name` searched from the end of the first `tag` (the search is not
// bounded by the element); empty when the tag, the attribute or its closing quote is missing.
std::wstring TagAttribute(const std::wstring& text, const std::wstring& tag, const std::wstring& name);
// True when the text holds an ERROR element with something after "<ERROR"; `message` is then
// its text with the rest of the start tag removed (possibly empty).
bool ErrorReport(const std::wstring& text, std::wstring& message);
// PARAM elements in order: names trimmed and upper-cased, values trimmed. Stops at the first
// element without a name or without a CDATA value.
std::vector<std::pair<std::wstring, std::wstring>> ParseParams(const std::wstring& text);

}  // namespace zk

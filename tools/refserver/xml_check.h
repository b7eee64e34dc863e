// A small well-formedness check for the order descriptor: one root element, balanced tags,
// quoted attributes without raw '<' or '&', valid entity references, an optional declaration.
#pragma once
#include <map>
#include <string>
#include <vector>

namespace refsrv {

struct XmlElement {
    std::string name;
    std::map<std::string, std::string> attributes;  // values with entities resolved
};

// On success `elements` lists every start tag in document order.
bool CheckXml(const std::string& text, std::vector<XmlElement>& elements, std::string& error);

}  // namespace refsrv

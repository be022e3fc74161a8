#include "hydrochart/datafilekind.h"

#include <cctype>
#include <cstdint>

#include "platform/files.h"

namespace {

using Bytes = std::string_view;

unsigned byteAt(Bytes head, std::size_t i) { return static_cast<unsigned char>(head[i]); }

unsigned littleEndian16(Bytes head, std::size_t i) {
  return byteAt(head, i) | byteAt(head, i + 1) << 8;
}

std::uint32_t bigEndian32(Bytes head, std::size_t i) {
  return static_cast<std::uint32_t>(byteAt(head, i)) << 24 | byteAt(head, i + 1) << 16 |
         byteAt(head, i + 2) << 8 | byteAt(head, i + 3);
}

std::uint32_t littleEndian32(Bytes head, std::size_t i) {
  return littleEndian16(head, i) | static_cast<std::uint32_t>(littleEndian16(head, i + 2)) << 16;
}

bool startsWithNoCase(Bytes text, Bytes prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Letters, digits, "_", "-", ".", ":" and every byte of a multi-byte character.
bool isNameByte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return std::isalnum(b) || c == '_' || c == '-' || c == '.' || c == ':' || b >= 0x80;
}

// The local file header, the end record of an empty archive, or a spanned archive's marker.
bool isZip(Bytes head) {
  return head.size() >= 4 && head[0] == 'P' && head[1] == 'K' &&
         ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6) ||
          (head[2] == 7 && head[3] == 8));
}

bool isGzip(Bytes head) {
  return head.size() >= 3 && byteAt(head, 0) == 0x1F && byteAt(head, 1) == 0x8B &&
         byteAt(head, 2) == 8;
}

// A byte-order mark, or markup whose "<" comes with a NUL byte beside it.
bool isUtf16(Bytes head) {
  if (head.size() < 2) return false;
  const unsigned first = byteAt(head, 0);
  const unsigned second = byteAt(head, 1);
  return (first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF) ||
         (first == '<' && second == 0) || (first == 0 && second == '<');
}

// The file code 9994 and the version 1000 of a main file or its index.
bool isShapefile(Bytes head) {
  return head.size() >= 100 && bigEndian32(head, 0) == 9994 && littleEndian32(head, 28) == 1000;
}

// A version byte of the dBase family, a date of last change, and a header whose field
// descriptors (32 bytes each) end in 0x0D before the header's length.
bool isDbase(Bytes head) {
  if (head.size() < 33) return false;
  switch (byteAt(head, 0)) {
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x30:
    case 0x31:
    case 0x32:
    case 0x43:
    case 0x63:
    case 0x83:
    case 0x8B:
    case 0xCB:
    case 0xF5:
    case 0xFB:
      break;
    default:
      return false;
  }
  const unsigned month = byteAt(head, 2);
  const unsigned day = byteAt(head, 3);
  const std::size_t headerLength = littleEndian16(head, 8);
  if (month < 1 || month > 12 || day < 1 || day > 31 || headerLength < 33) return false;
  if (littleEndian16(head, 10) == 0) return false;  // the length of a record
  for (std::size_t at = 32; at < headerLength && at < head.size(); at += 32) {
    if (byteAt(head, at) == 0x0D) return true;
  }
  return false;
}

struct RootTag {
  bool found = false;
  bool htmlDoctype = false;
  Bytes name;
  Bytes attributes;  // the text after the name, up to the tag's ">" or the end of the head
};

// The first element of the text, past the XML declaration, processing instructions, comments
// and a document type declaration; not found when other text or the end of the head comes first.
RootTag findRootTag(Bytes text) {
  RootTag root;
  std::size_t at = 0;
  while (true) {
    while (at < text.size() && isXmlSpace(text[at])) ++at;
    if (at >= text.size() || text[at] != '<') return root;
    const Bytes rest = text.substr(at);
    std::size_t end = Bytes::npos;
    if (rest.starts_with("<?")) {
      end = text.find("?>", at + 2);
      if (end != Bytes::npos) end += 2;
    } else if (rest.starts_with("<!--")) {
      end = text.find("-->", at + 4);
      if (end != Bytes::npos) end += 3;
    } else if (rest.starts_with("<!")) {
      if (startsWithNoCase(rest, "<!DOCTYPE")) {
        std::size_t name = at + 9;
        while (name < text.size() && isXmlSpace(text[name])) ++name;
        root.htmlDoctype = startsWithNoCase(text.substr(name), "html");
        if (root.htmlDoctype) return root;
      }
      // Up to the ">" that is not inside an internal subset.
      int depth = 0;
      for (std::size_t i = at + 2; i < text.size() && end == Bytes::npos; ++i) {
        if (text[i] == '[') ++depth;
        if (text[i] == ']') --depth;
        if (text[i] == '>' && depth <= 0) end = i + 1;
      }
    } else {
      std::size_t nameEnd = at + 1;
      while (nameEnd < text.size() && isNameByte(text[nameEnd])) ++nameEnd;
      if (nameEnd == at + 1) return root;
      root.found = true;
      root.name = text.substr(at + 1, nameEnd - at - 1);
      root.attributes = text.substr(nameEnd, text.find('>', nameEnd) - nameEnd);
      return root;
    }
    if (end == Bytes::npos) return root;
    at = end;
  }
}

// The value of the attribute `name` in a tag's attribute text, "" when it is not there.
Bytes attributeValue(Bytes attributes, Bytes name) {
  for (std::size_t at = attributes.find(name); at != Bytes::npos;
       at = attributes.find(name, at + 1)) {
    if (at == 0 || !isXmlSpace(attributes[at - 1])) continue;
    std::size_t i = at + name.size();
    while (i < attributes.size() && isXmlSpace(attributes[i])) ++i;
    if (i >= attributes.size() || attributes[i] != '=') continue;
    ++i;
    while (i < attributes.size() && isXmlSpace(attributes[i])) ++i;
    if (i >= attributes.size() || (attributes[i] != '"' && attributes[i] != '\'')) continue;
    const std::size_t close = attributes.find(attributes[i], i + 1);
    if (close == Bytes::npos) return {};
    return attributes.substr(i + 1, close - i - 1);
  }
  return {};
}

// A KSJ data set code at the start of `text`: a capital letter and two digits ("W05", "N03").
std::string dataSetCodeAt(Bytes text) {
  if (text.size() < 3 || !std::isupper(static_cast<unsigned char>(text[0])) ||
      !std::isdigit(static_cast<unsigned char>(text[1])) ||
      !std::isdigit(static_cast<unsigned char>(text[2])))
    return {};
  if (text.size() > 3 && std::isdigit(static_cast<unsigned char>(text[3]))) return {};
  return std::string(text.substr(0, 3));
}

// The data set a dataset element names: its id ("N03Dataset") or its schema
// ("KsjAppSchema-N03-v2_0.xsd"); "" when neither names one.
std::string dataSetOfRoot(Bytes attributes) {
  std::string code = dataSetCodeAt(attributeValue(attributes, "gml:id"));
  if (!code.empty()) return code;
  const Bytes schema = attributeValue(attributes, "xsi:schemaLocation");
  constexpr Bytes kSchemaPrefix = "KsjAppSchema-";
  const std::size_t at = schema.find(kSchemaPrefix);
  return at == Bytes::npos ? std::string()
                           : dataSetCodeAt(schema.substr(at + kSchemaPrefix.size()));
}

DataFileLook lookOf(DataFileKind kind) {
  DataFileLook look;
  look.kind = kind;
  return look;
}

bool isHtmlRoot(Bytes name) {
  for (Bytes html : {"html", "head", "body"}) {
    if (name.size() == html.size() && startsWithNoCase(name, html)) return true;
  }
  return false;
}

DataFileLook lookAtMarkup(Bytes head) {
  const RootTag root = findRootTag(head);
  if (root.htmlDoctype || (root.found && isHtmlRoot(root.name))) return lookOf(DataFileKind::Html);
  if (!root.found) return {};
  if (root.name.starts_with("jps:") || !attributeValue(root.attributes, "xmlns:jps").empty() ||
      head.find("<jps:") != Bytes::npos)
    return lookOf(DataFileKind::JpgisOne);
  const std::size_t colon = root.name.rfind(':');
  const Bytes localName = colon == Bytes::npos ? root.name : root.name.substr(colon + 1);
  DataFileLook look = lookOf(DataFileKind::OtherXml);
  look.rootElement = root.name;
  if (localName != "Dataset") return look;
  // A dataset that does not say which one it is is taken for W05.
  look.dataSet = dataSetOfRoot(root.attributes);
  if (look.dataSet.empty() || look.dataSet == "W05") return {};
  return look;
}

}  // namespace

DataFileLook recogniseDataFile(std::string_view head) {
  if (isZip(head)) return lookOf(DataFileKind::Zip);
  if (isGzip(head)) return lookOf(DataFileKind::Gzip);
  if (isUtf16(head)) return lookOf(DataFileKind::Utf16);
  if (isShapefile(head)) return lookOf(DataFileKind::Shapefile);
  if (isDbase(head)) return lookOf(DataFileKind::Dbase);
  if (head.starts_with("\xEF\xBB\xBF")) head.remove_prefix(3);
  return lookAtMarkup(head);
}

DataFileLook lookAtDataFile(const std::string& path) {
  std::string head;
  if (!platform::readFileStart(path, head, kDataFileLookBytes)) return {};
  return recogniseDataFile(head);
}

bool isSurelyNotRiverData(DataFileKind kind) {
  return kind != DataFileKind::Unknown && kind != DataFileKind::OtherXml;
}

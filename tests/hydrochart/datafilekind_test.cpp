#include "hydrochart/datafilekind.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/tempfolder.h"

namespace {

using namespace std::string_literals;

DataFileKind kindOf(const std::string& head) { return recogniseDataFile(head).kind; }

// The 100-byte header of a shapefile (or its .shx): file code 9994 big-endian, version 1000
// little-endian at byte 28, shape type 3 (polyline).
std::string shapefileHeader() {
  std::string header(100, '\0');
  header.replace(0, 4, "\x00\x00\x27\x0A"s);
  header.replace(24, 4, "\x00\x00\x00\x64"s);
  header.replace(28, 4, "\xE8\x03\x00\x00"s);
  header[32] = 3;
  return header;
}

// A dBase III header of `fields` field descriptors, changed 2021-03-31, then its terminator.
std::string dbaseHeader(int fields, char version = 0x03) {
  const int length = 32 + 32 * fields + 1;
  std::string header(static_cast<std::size_t>(length), '\0');
  header[0] = version;
  header[1] = 121;
  header[2] = 3;
  header[3] = 31;
  header[4] = 1;
  header[8] = static_cast<char>(length & 0xFF);
  header[9] = static_cast<char>(length >> 8);
  header[10] = 27;
  for (int i = 0; i < fields; ++i) header.replace(32 + 32 * i, 7, "W05_00" + std::to_string(i));
  header[static_cast<std::size_t>(length - 1)] = '\r';
  return header;
}

TEST(RecogniseDataFile, TellsArchivesAndBinaryFilesByTheirFirstBytes) {
  EXPECT_EQ(kindOf("PK\x03\x04\x14\x00\x00\x00\x08\x00"s), DataFileKind::Zip);
  EXPECT_EQ(kindOf("PK\x05\x06"s + std::string(18, '\0')), DataFileKind::Zip);  // empty archive
  EXPECT_EQ(kindOf("\x1F\x8B\x08\x00\x00\x00\x00\x00"s), DataFileKind::Gzip);
  EXPECT_EQ(kindOf(shapefileHeader()), DataFileKind::Shapefile);
  EXPECT_EQ(kindOf(dbaseHeader(2) + " 830305"), DataFileKind::Dbase);
  EXPECT_EQ(kindOf(dbaseHeader(1, static_cast<char>(0x83))), DataFileKind::Dbase);  // with memo
  EXPECT_EQ(kindOf("\xFF\xFE<\0?\0x\0m\0l\0"s), DataFileKind::Utf16);
  EXPECT_EQ(kindOf("\xFE\xFF\0<\0?\0x\0m\0l"s), DataFileKind::Utf16);
  EXPECT_EQ(kindOf("<\0k\0s\0j\0"s), DataFileKind::Utf16);  // without a byte-order mark
  EXPECT_EQ(kindOf("\0<\0k\0s\0j"s), DataFileKind::Utf16);
}

TEST(RecogniseDataFile, NearMissesOfTheBinaryKindsAreNotTakenForThem) {
  EXPECT_EQ(kindOf("PK"), DataFileKind::Unknown);
  EXPECT_EQ(kindOf("PK\x03"s), DataFileKind::Unknown);
  EXPECT_EQ(kindOf("PKZIP archives"), DataFileKind::Unknown);
  EXPECT_EQ(kindOf("\x1F\x8B"s), DataFileKind::Unknown);
  std::string shapefile = shapefileHeader();
  EXPECT_EQ(kindOf(shapefile.substr(0, 99)), DataFileKind::Unknown);
  shapefile[28] = 0;  // another version
  EXPECT_EQ(kindOf(shapefile), DataFileKind::Unknown);
  std::string dbase = dbaseHeader(2);
  EXPECT_EQ(kindOf(dbase.substr(0, dbase.size() - 1)), DataFileKind::Unknown);  // no terminator
  dbase[2] = 13;                                                                // month 13
  EXPECT_EQ(kindOf(dbase), DataFileKind::Unknown);
  EXPECT_EQ(kindOf(dbaseHeader(2, 0x01)), DataFileKind::Unknown);  // no dBase version
  // Text that starts with the digits that some dBase versions have as their first byte.
  EXPECT_EQ(kindOf("0,1,2\n3,4,5\n" + std::string(40, ' ')), DataFileKind::Unknown);
  EXPECT_EQ(kindOf("<"), DataFileKind::Unknown);
  EXPECT_EQ(kindOf("<\0"s), DataFileKind::Utf16);
}

TEST(RecogniseDataFile, WhatTheLoaderReadsAsEmptyStaysUnknown) {
  EXPECT_EQ(kindOf(""), DataFileKind::Unknown);
  EXPECT_EQ(kindOf("\n\n"), DataFileKind::Unknown);
  EXPECT_EQ(kindOf("<!-- a comment -->\n<!--\nover lines\n-->\n"), DataFileKind::Unknown);
  EXPECT_EQ(kindOf("<?xml version=\"1.0\"?>\n<!-- a comment that never closes"),
            DataFileKind::Unknown);
  EXPECT_EQ(kindOf("<?xml version=\"1.0\"?>\n"), DataFileKind::Unknown);
  EXPECT_EQ(kindOf("plain text\n<html>"), DataFileKind::Unknown);
  // W05 datasets, named as such, or not naming a data set at all.
  EXPECT_EQ(
      kindOf("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<ksj:Dataset gml:id=\"W05Dataset\" xmlns:ksj=\"k\">\n<gml:Point gml:id=\"n1\">"),
      DataFileKind::Unknown);
  EXPECT_EQ(kindOf("<ksj:Dataset gml:id=\"Dataset1\" xmlns:ksj=\"k\">"), DataFileKind::Unknown);
  EXPECT_EQ(kindOf("<ksj:Dataset xsi:schemaLocation=\"k KsjAppSchema-W05-v2_0.xsd\">"),
            DataFileKind::Unknown);
  EXPECT_EQ(kindOf("<ksj:Dataset>"), DataFileKind::Unknown);
  EXPECT_EQ(kindOf("<ksj:Dataset gml:id=\"N035Dataset\">"), DataFileKind::Unknown);
}

TEST(RecogniseDataFile, TellsHtmlPagesAndTheOlderEditionByTheirTags) {
  EXPECT_EQ(kindOf("<!DOCTYPE html>\n<html><body>404</body></html>"), DataFileKind::Html);
  EXPECT_EQ(kindOf("  \r\n<!doctype HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">"),
            DataFileKind::Html);
  EXPECT_EQ(kindOf("<?xml version=\"1.0\"?>\n<!-- served -->\n<HTML lang=\"ja\">"),
            DataFileKind::Html);
  EXPECT_EQ(kindOf("<head><title>Error</title></head>"), DataFileKind::Html);
  EXPECT_EQ(kindOf("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n"
                   "<ksj:GI xmlns:ksj=\"k\"\n    xmlns:jps=\"http://www.gsi.go.jp/GIS/jpgis\">"),
            DataFileKind::JpgisOne);
  EXPECT_EQ(kindOf("<ksj:GI xmlns:ksj=\"k\">\n<dataset>\n<jps:GM_Curve id=\"c1\">"),
            DataFileKind::JpgisOne);
  EXPECT_EQ(kindOf("<jps:GM_Point id=\"n1\">"), DataFileKind::JpgisOne);
}

TEST(RecogniseDataFile, NamesTheRootOfOtherXml) {
  DataFileLook look = recogniseDataFile(
      "<?xml version=\"1.0\"?>\n<!DOCTYPE kml [\n<!ENTITY a \"<b>\">\n]>\n<kml xmlns=\"k\">");
  EXPECT_EQ(look.kind, DataFileKind::OtherXml);
  EXPECT_EQ(look.rootElement, "kml");
  EXPECT_EQ(look.dataSet, "");
  look = recogniseDataFile("<gml:FeatureCollection\n    xmlns:gml=\"g\">");
  EXPECT_EQ(look.kind, DataFileKind::OtherXml);
  EXPECT_EQ(look.rootElement, "gml:FeatureCollection");
  // A dataset of another KSJ data set, named by its id or by its schema.
  look = recogniseDataFile("<ksj:Dataset\n gml:id = 'N03Dataset' xmlns:ksj=\"k\">");
  EXPECT_EQ(look.kind, DataFileKind::OtherXml);
  EXPECT_EQ(look.rootElement, "ksj:Dataset");
  EXPECT_EQ(look.dataSet, "N03");
  look = recogniseDataFile(
      "<ksj:Dataset xmlns:xsi=\"x\" xsi:schemaLocation=\"k KsjAppSchema-P12-v2_2.xsd\">");
  EXPECT_EQ(look.kind, DataFileKind::OtherXml);
  EXPECT_EQ(look.dataSet, "P12");
  // An attribute whose name only ends in "gml:id" is not the id.
  look = recogniseDataFile("<ksj:Dataset xgml:id=\"N03Dataset\" gml:id=\"W05Dataset\">");
  EXPECT_EQ(look.kind, DataFileKind::Unknown);
}

TEST(RecogniseDataFile, OnlyTheFirstBytesOfAFileAreLookedAt) {
  TempFolder folder("w05filekind");
  EXPECT_EQ(lookAtDataFile(folder.write("a.zip", "PK\x03\x04rest"s)).kind, DataFileKind::Zip);
  EXPECT_EQ(lookAtDataFile(folder.file("missing.xml")).kind, DataFileKind::Unknown);
  EXPECT_EQ(lookAtDataFile(folder.path()).kind, DataFileKind::Unknown);
  // A root element beyond the first bytes is not found; one just inside them is.
  const std::string comment = "<!--" + std::string(kDataFileLookBytes - 11, '-') + "-->";
  EXPECT_EQ(lookAtDataFile(folder.write("far.xml", comment + std::string(8, '\n') + "<kml>")).kind,
            DataFileKind::Unknown);
  EXPECT_EQ(lookAtDataFile(folder.write("near.xml", comment + "<kml>")).kind,
            DataFileKind::OtherXml);
}

}  // namespace

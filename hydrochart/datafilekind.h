// What a file is that loaded without any Stream or Curve: a download zip, a compressed or
// re-encoded copy, an error page, a member of the shapefile beside the river data, river data
// of the older JPGIS 1.0 edition, or XML of something else. Told from the file's first bytes
// and tags only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

enum class DataFileKind {
  Unknown,    // nothing recognised: an empty file, comments only, text, or a W05 dataset
  Zip,        // a zip archive (the download itself)
  Gzip,       // a gzip-compressed file
  Utf16,      // text in UTF-16 (with or without a byte-order mark)
  Html,       // an HTML page (an error page saved in place of a download)
  Shapefile,  // the .shp or .shx of a shapefile
  Dbase,      // a dBase table (the .dbf of a shapefile)
  JpgisOne,   // XML with jps: elements, the JPGIS 1.0 edition of the data
  OtherXml,   // XML whose root element is not a W05 dataset
};

struct DataFileLook {
  DataFileKind kind = DataFileKind::Unknown;
  std::string rootElement;  // OtherXml: the root element's name, UTF-8
  std::string dataSet;      // OtherXml: the KSJ data set its root names ("N03"), or ""
};

// How many bytes of a file are looked at.
constexpr std::size_t kDataFileLookBytes = 64 * 1024;

// What the bytes at the start of a file make it.
DataFileLook recogniseDataFile(std::string_view head);

// The same for the file at `path`, from its first kDataFileLookBytes; Unknown when it cannot be
// read or is not a regular file.
DataFileLook lookAtDataFile(const std::string& path);

// Whether a file of `kind` surely holds no river data this program reads, so that no page is
// made from it.
bool isSurelyNotRiverData(DataFileKind kind);

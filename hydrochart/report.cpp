#include "hydrochart/report.h"

#include <cstdarg>

#include "platform/files.h"
#include "platform/textconv.h"
#include "platform/utf8.h"

void Report::warning(const char* format, ...) {
  // A warning follows the lines before it also when both streams go to one terminal or file.
  std::fflush(out_);
  std::va_list arguments;
  va_start(arguments, format);
  std::vfprintf(err_, format, arguments);
  va_end(arguments);
}

void Report::waterSystemPageStarted(std::uint32_t code) {
  // Codes print through a signed conversion, as "%06d" of the 32-bit value.
  std::fprintf(out_, "%06d", static_cast<int>(code));
}

void Report::waterSystemPageWritten(std::int32_t pathCount) {
  std::fprintf(out_, "(%d) ", pathCount);
}

void Report::waterSystemPageNotCreated(std::uint32_t code) {
  std::fprintf(out_, "** Error: html file could not created. %06d\n", static_cast<int>(code));
}

void Report::outputIsInput(const std::string& path, RunInput input) {
  warning("hydrochart: \"%s\" is the %s being read; it is not overwritten\n", path.c_str(),
          input == RunInput::DataFile ? "data file" : "code list");
}

void Report::indexOpened(const std::string& indexPath) {
  std::fprintf(out_, "\"%s\" was created", indexPath.c_str());
}

void Report::folderLeftOut(const std::string& base, const std::string& folder) {
  warning("hydrochart: \"%s%c%s\" holds no page; left out of the index\n", base.c_str(),
          platform::kPathSeparator, folder.c_str());
}

void Report::streamLeftOut(const DrawResult& result) { drawingFailed(result); }

void Report::usage() {
  std::fputs(
      "Usage:\n"
      "  hydrochart DATA.xml PAGE.htm [TITLE [CODE[/RRGGBB]...]]\n"
      "      one map page with the rivers (codes of 1000000 and more) and water systems\n"
      "      (smaller codes) given, in automatic colours or the colour after the separator\n"
      "  hydrochart DATA.xml \"*\"\n"
      "      one page per water system, written into the folder DATA_html\n"
      "  hydrochart \"PATTERN\"\n"
      "      the same for every data file that matches the wildcard pattern, in name order\n"
      "  hydrochart --atlas DATA.xml PAGE.htm [TITLE [CODE[/RRGGBB]...]]\n"
      "  hydrochart --atlas DATA.xml \"*\"  |  hydrochart --atlas \"PATTERN\"\n"
      "      the same pages as atlas pages: the rivers drawn on one canvas from embedded\n"
      "      GeoJSON, with a legend of the water systems and a search for rivers\n"
      "  hydrochart --geojson DATA.xml [OUT.geojson [TITLE [CODE[/RRGGBB]...]]]\n"
      "      GeoJSON of the rivers and water systems given, as the page draws them, or of\n"
      "      every stream of DATA.xml when no code is given (default OUT: DATA.geojson)\n"
      "  hydrochart --geojson \"PATTERN\"\n"
      "      DATA.geojson of every stream next to each data file that matches the pattern\n"
      "  hydrochart create_index [FOLDER]\n"
      "      FOLDER/index.html over the W05-?\?_?\?-g_html folders in FOLDER (default .)\n"
      "  hydrochart ws_codelabel [FILE]\n"
      "      code-label lines from WaterSystemCodeCd.xml (default ws_codelabel.txt)\n"
      "  hydrochart --help | --version\n"
      "The code list WaterSystemCodeCd.xml or .html is read from the working directory,\n"
      "else from the program's folder.\n"
      "Exit status: 0 done, 1 error, 2 no file matches the pattern.\n",
      out_);
}

void Report::version() { std::fprintf(out_, "hydrochart %s\n", W05_VERSION); }

void Report::banner(unsigned consoleCodePage) {
  std::fprintf(out_, "**** hydrochart **** cp=%u\n", consoleCodePage);
}

void Report::codeListRead(const CodeListLoad& load) {
  if (!load.read()) return;
  std::fprintf(out_, "*WaterSystemCodeList was extracted from \"%s\" CodePage=%d nws=%d\n",
               load.path.c_str(), load.codePage, load.count);
}

void Report::codeLabelFile(bool written) {
  std::fputs(written ? "Code Label for \"WaterSystemCodeCd.xml\" was generated.\n"
                     : "** Error: Code Label file not created.\n",
             out_);
}

void Report::pathTooLong(const std::string& path) {
  std::fprintf(out_, "** Error: Path too long: %s\n", path.c_str());
}

void Report::riverDataLoad(const std::string& path, LoadStatus status, const RiverData& data) {
  switch (status) {
    case LoadStatus::Loaded:
      std::fprintf(out_,
                   "%s : pointList=%d Stream=%d Curve=%d(maxCv=%d) Node=%d Point=%d(maxPt=%d)\n",
                   path.c_str(), static_cast<int>(data.pointList.size()),
                   static_cast<int>(data.streams.size()), static_cast<int>(data.curves.size()),
                   data.maxCv, static_cast<int>(data.riverNodes.size()),
                   static_cast<int>(data.points.size()), data.maxPt);
      break;
    case LoadStatus::OutOfMemory:
      std::fputs("** Error: realloc\n", out_);
      break;
    case LoadStatus::NonFiniteCoordinate:
      std::fprintf(out_,
                   "** Error: River data file \"%s\" holds a coordinate that is not a finite "
                   "number.\n",
                   path.c_str());
      break;
    case LoadStatus::NotOpened:
      break;
  }
}

void Report::riverDataNotFound(const std::string& path) {
  std::fprintf(out_, "** Error: River data file \"%s\" not found.\n", path.c_str());
}

void Report::dataFileKind(const std::string& path, const DataFileLook& look) {
  const char* what = nullptr;
  switch (look.kind) {
    case DataFileKind::Zip:
      what =
          "is a zip archive, not river data: extract its .xml member first (fetchunpack URL "
          "FOLDER MEMBER)";
      break;
    case DataFileKind::Gzip:
      what = "is a gzip file, not river data: decompress it first (gzip -d)";
      break;
    case DataFileKind::Utf16:
      what = "is UTF-16 text, not river data as published: save it in UTF-8 first";
      break;
    case DataFileKind::Html:
      what =
          "is an HTML page, not river data (an error page saved in place of a download?): "
          "download the zip again and extract its .xml member (fetchunpack URL FOLDER MEMBER)";
      break;
    case DataFileKind::Shapefile:
      what = "is a shapefile, not river data: use the .xml member of the same zip instead";
      break;
    case DataFileKind::Dbase:
      what =
          "is a dBase table (shapefile attributes), not river data: use the .xml member of "
          "the same zip instead";
      break;
    case DataFileKind::JpgisOne:
      what =
          "is river data of the JPGIS 1.0 edition (jps: elements), which hydrochart does not "
          "read: use the GML edition (JPGIS 2.1, the W05-YY_PP_GML.zip download) instead";
      break;
    case DataFileKind::OtherXml: {
      // The name comes from the file: shown as far as 64 bytes, in the console's encoding.
      const std::string root = platform::utf8ToNative(
          std::string(platform::cutUtf8(platform::replaceIllFormedUtf8(look.rootElement), 64)));
      if (look.dataSet.empty()) {
        warning(
            "hydrochart: \"%s\" holds no river data: its root element <%s> is not a W05 "
            "dataset\n",
            path.c_str(), root.c_str());
      } else {
        warning(
            "hydrochart: \"%s\" holds no river data: its root element <%s> is a dataset of "
            "%s, not of W05\n",
            path.c_str(), root.c_str(), look.dataSet.c_str());
      }
      return;
    }
    case DataFileKind::Unknown:
      return;
  }
  std::fprintf(out_, "** Error: \"%s\" %s\n", path.c_str(), what);
}

void Report::drawingFailed(const DrawResult& result) {
  switch (result.kind) {
    case DrawResult::Kind::CurveNotFound:
      std::fprintf(out_, "Not found Stream ID %d\n", result.curveId);
      break;
    case DrawResult::Kind::RiverNodeNotFound:
      for (const std::string& id : result.nodeIds) {
        std::fprintf(out_, "Not found RiverNode '%s'\n", id.c_str());
      }
      break;
    case DrawResult::Kind::RiverListNotAllocated:
      std::fputs("** Error: malloc riverCodeList\n", out_);
      break;
    case DrawResult::Kind::Drawn:
      break;
  }
}

void Report::allPagesFailed(const AllPagesResult& result) {
  if (result.kind == AllPagesResult::Kind::CodeArrayNotAllocated) {
    std::fprintf(out_, "** Error: malloc waterSystemCodeList %d\n",
                 static_cast<int>(result.codeArrayCapacity));
  } else if (result.kind == AllPagesResult::Kind::DrawingFailed) {
    drawingFailed(result.drawing);
  }
  // A page that was not created or written whole has been reported as it happened.
}

void Report::dataFileProcessed(const std::string& path) {
  std::fprintf(out_, "%s was processed.\n", path.c_str());
}

void Report::outputNotCreated(const std::string& path) {
  std::fprintf(out_, "** Error: Output file \"%s\" not created.\n", path.c_str());
}

void Report::pageGenerated(const std::string& path, std::int32_t pathCount) {
  std::fprintf(out_, "%s successfully generated. (path=%d)\n", path.c_str(), pathCount);
}

void Report::geoJsonGenerated(const std::string& path, std::int32_t featureCount) {
  std::fprintf(out_, "%s successfully generated. (features=%d)\n", path.c_str(), featureCount);
}

void Report::everyStreamGenerated(const std::string& path, std::int32_t featureCount,
                                  std::int32_t leftOut) {
  std::fprintf(out_, "%s successfully generated. (features=%d, left out=%d)\n", path.c_str(),
               featureCount, leftOut);
}

void Report::codeMatchesNothing(const std::string& argument, bool river, std::uint64_t code,
                                const std::string& dataPath) {
  warning("hydrochart: \"%s\" matches no %s (code %llu) in \"%s\"\n", argument.c_str(),
          river ? "river" : "water system", static_cast<unsigned long long>(code),
          dataPath.c_str());
}

void Report::indexPage(const IndexResult& result) {
  switch (result.kind) {
    case IndexResult::Kind::Written:
      std::fprintf(out_, " and processed. Pref=%d WS=%d\n", result.prefectureCount,
                   result.linkCount);
      break;
    case IndexResult::Kind::FolderMissing:
      std::fprintf(out_, "** Error: Folder \"%s\" not exists.\n", result.base.c_str());
      break;
    case IndexResult::Kind::NotCreated:
      std::fprintf(out_, "** Error: \"%s\" could not be created.\n", result.indexPath.c_str());
      break;
    case IndexResult::Kind::NoOutputFolder:
      break;
  }
}

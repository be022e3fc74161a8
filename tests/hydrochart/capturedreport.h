// A Report whose lines are kept in memory, for tests of what a user would see.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "hydrochart/report.h"

class CapturedReport {
 public:
  CapturedReport()
      : out_(::open_memstream(&outText_, &outSize_)),
        err_(::open_memstream(&errText_, &errSize_)),
        report_(out_, err_) {}
  CapturedReport(const CapturedReport&) = delete;
  CapturedReport& operator=(const CapturedReport&) = delete;
  ~CapturedReport() {
    std::fclose(out_);
    std::fclose(err_);
    std::free(outText_);
    std::free(errText_);
  }

  Report& report() { return report_; }
  // What went to standard output (error) since the last call.
  std::string takeOut() { return take(out_, outText_, outSize_, outTaken_); }
  std::string takeErr() { return take(err_, errText_, errSize_, errTaken_); }

 private:
  static std::string take(std::FILE* stream, char* const& text, const std::size_t& size,
                          std::size_t& taken) {
    std::fflush(stream);
    if (text == nullptr) return {};
    std::string result(text + taken, size - taken);
    taken = size;
    return result;
  }

  char* outText_ = nullptr;
  char* errText_ = nullptr;
  std::size_t outSize_ = 0;
  std::size_t errSize_ = 0;
  std::size_t outTaken_ = 0;
  std::size_t errTaken_ = 0;
  std::FILE* out_;
  std::FILE* err_;
  Report report_;
};

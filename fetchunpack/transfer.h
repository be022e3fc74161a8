// One HTTP or HTTPS GET, the body handed on piece by piece. Implemented once per platform
// (libcurl on POSIX systems, WinINet on Windows); retries, time limits, the temporary file and
// the failure rules around it are shared (download.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "fetchunpack/download.h"

namespace fetchunpack {

// Takes the next piece of the body; false ends the transfer (the data could not be stored).
using BodySink = std::function<bool(const char* data, std::size_t size)>;

// Bytes received so far and the announced length (0 when unknown); called now and then.
using ProgressSink = std::function<void(std::int64_t received, std::int64_t total)>;

enum class TransferStatus {
  Complete,     // the whole body arrived and was handed on
  NoSession,    // the platform's HTTP client could not start
  SinkRefused,  // the body sink returned false
  Failed,       // unreachable, error status, a transfer that broke off or stalled
};

struct TransferResult {
  TransferStatus status = TransferStatus::Failed;
  bool retryable = false;  // a timeout, a dropped connection or a status isRetryableStatus names
  std::string cause;       // what went wrong, for standard error
  long httpStatus = 0;     // the final status of a transfer that completed
};

// GETs `url` with the agent "Agent-A", following redirects (on http: and https: only) and
// bypassing caches, through the platform's own proxy
// settings. An error status (400 and above) is a failure and its body is not handed on; any
// other final status completes the transfer, and the caller judges it.
TransferResult transferUrl(const std::string& url, const DownloadSettings& settings,
                           const BodySink& body, const ProgressSink& progress);

}  // namespace fetchunpack

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>

#include "fetchunpack/transfer.h"

namespace fetchunpack {

namespace {

// Large receive buffers keep the number of write calls low on fast links.
constexpr long kReceiveBufferSize = 512 * 1024;

struct Sinks {
  const BodySink* body;
  const ProgressSink* progress;
  bool refused = false;
};

std::size_t writeBody(char* data, std::size_t size, std::size_t count, void* context) {
  auto& sinks = *static_cast<Sinks*>(context);
  const std::size_t n = size * count;
  if (!(*sinks.body)(data, n)) {
    sinks.refused = true;
    return 0;  // makes libcurl end the transfer with a write error
  }
  return n;
}

int reportProgress(void* context, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
  auto& sinks = *static_cast<Sinks*>(context);
  (*sinks.progress)(now, total);
  return 0;
}

bool isRetryable(CURLcode code, long httpStatus) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
      return true;
    case CURLE_HTTP_RETURNED_ERROR:
      return isRetryableStatus(httpStatus);
    default:
      return false;
  }
}

// Owns the libcurl handle and header list of one call.
struct Session {
  CURL* curl = curl_easy_init();
  curl_slist* headers = nullptr;
  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session() {
    if (curl) curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
  }
};

// Sets the request: agent, no cache, redirects on http: and https: only, time limits, the
// certificate bundle the environment names, and where body and progress go.
void configureRequest(Session& session, const std::string& url, const DownloadSettings& settings,
                      char* errorText, Sinks& sinks) {
  CURL* curl = session.curl;
  session.headers = curl_slist_append(session.headers, "Cache-Control: no-cache");
  session.headers = curl_slist_append(session.headers, "Pragma: no-cache");
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Agent-A");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, session.headers);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 20L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(std::min(settings.connectTimeout, 1e6) * 1000.0));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, settings.stallTimeout);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sinks);
  // The same variables the curl tool reads name a certificate bundle other than the system's.
  for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
    const char* bundle = std::getenv(name);
    if (bundle && *bundle) {
      curl_easy_setopt(curl, CURLOPT_CAINFO, bundle);
      break;
    }
  }
  if (*sinks.progress) {
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, reportProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &sinks);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  }
}

}  // namespace

TransferResult transferUrl(const std::string& url, const DownloadSettings& settings,
                           const BodySink& body, const ProgressSink& progress) {
  TransferResult result;
  Session session;
  if (!session.curl) {
    result.status = TransferStatus::NoSession;
    result.cause = "libcurl could not start a session";
    return result;
  }
  char errorText[CURL_ERROR_SIZE] = "";
  Sinks sinks{&body, &progress};
  configureRequest(session, url, settings, errorText, sinks);

  const CURLcode code = curl_easy_perform(session.curl);
  if (sinks.refused) {
    result.status = TransferStatus::SinkRefused;
    return result;
  }
  long status = 0;
  curl_easy_getinfo(session.curl, CURLINFO_RESPONSE_CODE, &status);
  if (code == CURLE_OK) {
    result.status = TransferStatus::Complete;
    result.httpStatus = status;
    return result;
  }
  if (code == CURLE_HTTP_RETURNED_ERROR) {
    result.cause = url + ": HTTP status " + std::to_string(status);
  } else {
    result.cause = url + ": " + (errorText[0] ? errorText : curl_easy_strerror(code));
  }
  result.retryable = isRetryable(code, status);
  return result;
}

}  // namespace fetchunpack

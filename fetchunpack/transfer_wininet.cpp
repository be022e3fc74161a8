#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "fetchunpack/requesturl.h"
#include "fetchunpack/transfer.h"
#include "platform/widetext_win32.h"

namespace fetchunpack {

namespace {

// Bytes asked of InternetReadFile at a time.
constexpr DWORD kReadPiece = 64 * 1024;

// WinINet's own text for one of its error codes, with the code.
std::string describeError(DWORD error) {
  std::string text = "WinINet error " + std::to_string(error);
  char message[512];
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 GetModuleHandleA("wininet.dll"), error, 0, message,
                                 sizeof message, nullptr);
  if (n > 0) {
    std::string_view shown(message, n);
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r' || shown.back() == ' '))
      shown.remove_suffix(1);
    text.append(": ").append(shown);
  }
  return text;
}

// A timeout or a connection that broke off may go better the next time.
bool isRetryableError(DWORD error) {
  return error == ERROR_INTERNET_TIMEOUT || error == ERROR_INTERNET_CONNECTION_ABORTED ||
         error == ERROR_INTERNET_CONNECTION_RESET || error == ERROR_HTTP_INVALID_SERVER_RESPONSE;
}

struct InternetHandle {
  HINTERNET handle;
  explicit InternetHandle(HINTERNET h) : handle(h) {}
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  ~InternetHandle() {
    if (handle) InternetCloseHandle(handle);
  }
};

// A numeric response header, or -1 when the response has none.
std::int64_t numericHeader(HINTERNET request, DWORD query) {
  wchar_t text[32];
  DWORD size = sizeof text;
  if (!HttpQueryInfoW(request, query, text, &size, nullptr)) return -1;
  wchar_t* end = nullptr;
  const long long value = std::wcstoll(text, &end, 10);
  return end != text && value >= 0 ? value : -1;
}

void failWith(TransferResult& result, const std::string& url, const std::string& what,
              bool retryable) {
  result.status = TransferStatus::Failed;
  result.cause = url + ": " + what;
  result.retryable = retryable;
}

// Hands the body on piece by piece; false (with `result` saying why) when the transfer broke
// off or the sink refused a piece.
bool readBody(HINTERNET request, const std::string& url, std::int64_t length,
              const BodySink& body, const ProgressSink& progress, TransferResult& result) {
  std::vector<char> piece(kReadPiece);
  std::int64_t received = 0;
  for (;;) {
    DWORD n = 0;
    if (!InternetReadFile(request, piece.data(), kReadPiece, &n)) {
      const DWORD error = GetLastError();
      failWith(result, url, describeError(error), isRetryableError(error) || received > 0);
      return false;
    }
    if (n == 0) break;
    if (!body(piece.data(), n)) {
      result.status = TransferStatus::SinkRefused;
      return false;
    }
    received += n;
    if (progress) progress(received, std::max<std::int64_t>(length, 0));
  }
  // WinINet ends a body that broke off like a complete one; its announced length tells them
  // apart.
  if (length >= 0 && received < length) {
    failWith(result, url,
             "transfer closed with " + std::to_string(length - received) + " bytes remaining",
             true);
    return false;
  }
  return true;
}

}  // namespace

TransferResult transferUrl(const std::string& url, const DownloadSettings& settings, const BodySink& body,
                           const ProgressSink& progress) {
  TransferResult result;
  // The system's proxy settings (Internet Options) apply.
  InternetHandle session{
      InternetOpenW(L"Agent-A", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)};
  if (!session.handle) {
    result.status = TransferStatus::NoSession;
    result.cause = "WinINet could not start a session: " + describeError(GetLastError());
    return result;
  }
  DWORD connectMs = static_cast<DWORD>(std::min(settings.connectTimeout, 1e6) * 1000.0);
  DWORD stallMs = static_cast<DWORD>(std::min(settings.stallTimeout, 1000000L) * 1000);
  InternetSetOptionW(session.handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
  InternetSetOptionW(session.handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &stallMs, sizeof stallMs);
  InternetSetOptionW(session.handle, INTERNET_OPTION_SEND_TIMEOUT, &stallMs, sizeof stallMs);

  // WinINet would send other characters in the ANSI code page (and the fragment too); the
  // request goes out as libcurl sends it, while messages keep the URL as given.
  const std::wstring wideUrl = platform::wideOfUtf8(requestUrlOf(url));
  InternetHandle request{InternetOpenUrlW(
      session.handle, wideUrl.c_str(), nullptr, 0,
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI, 0)};
  if (!request.handle) {
    const DWORD error = GetLastError();
    failWith(result, url, describeError(error), isRetryableError(error));
    return result;
  }
  const std::int64_t status = numericHeader(request.handle, HTTP_QUERY_STATUS_CODE);
  if (status >= 400) {
    failWith(result, url, "HTTP status " + std::to_string(status), isRetryableStatus(static_cast<long>(status)));
    return result;
  }
  const std::int64_t length = numericHeader(request.handle, HTTP_QUERY_CONTENT_LENGTH);

  if (!readBody(request.handle, url, length, body, progress, result)) return result;
  result.status = TransferStatus::Complete;
  result.httpStatus = static_cast<long>(status);
  return result;
}

}  // namespace fetchunpack

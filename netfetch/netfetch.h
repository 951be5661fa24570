// netfetch: the HTTP download library that every plug-in and the host share.
//
// One background I/O thread per process drives every transfer through
// libcurl's multi interface; callers start a request and then poll it. The
// library is shared (libnetfetch.so), so the transfer limit and the proxy
// record are process-wide: the host and all plug-ins see the same ones.
//
// Threads: a CDownManager is used by one task at a time. Its getters may be
// called while the transfer runs; they never race with the I/O thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#define NETFETCH_API __attribute__((visibility("default")))

// The proxy record handed over once by the configuration store. The options
// dialog edits its fields in place; every transfer that starts afterwards
// reads the fields at DownLoadFile time, on the caller's thread, so edits
// must be made from the thread that starts transfers.
struct _tagProxyInfo {
    uint8_t nType = 0;  // 0 none, 1 SOCKS4, 2 SOCKS4a, 3 SOCKS5, 4 HTTP 1.1
    std::string strAddr;
    int32_t nPort = 0;
    uint8_t bAuthen = 0;  // 1: send strUser and strPassword
    std::string strUser;
    std::string strPassword;
};

class NETFETCH_API CDownManager {
  public:
    CDownManager();
    ~CDownManager();
    CDownManager(const CDownManager&) = delete;
    CDownManager& operator=(const CDownManager&) = delete;

    // Starts an asynchronous request and returns at once. Without a body a
    // GET, with one a form POST (application/x-www-form-urlencoded, the body
    // as given). referer and body may be null; an empty one counts as absent.
    // Answers nonzero when the request was started; 0 for an empty or
    // malformed URL, a scheme other than http or https, or a request already
    // running on this object (nothing is left behind). Blanks around the URL
    // are dropped and spaces inside it sent as %20. Cookies are kept across
    // the requests of one object. The limit behind IsCanDownNow is for the
    // caller to respect: a request asked for beyond it still starts.
    int DownLoadFile(const char* url, const char* referer = nullptr, const char* body = nullptr);

    // -1 failed (resolution, connection, HTTP status >= 400, size cap, a
    // transfer limit, bad URL) and after Close; 0..99 while running (from Content-Length when
    // known, otherwise a value that changes whenever bytes arrive); 100 only
    // when the whole response is in the buffer.
    int GetDownPercent() const;

    // Why the transfer failed, one sentence ("the site answered HTTP status
    // 500", "Couldn't connect to server"); empty while it runs, once it
    // succeeded, and after Close.
    std::string GetFailureText() const;
    // The reply's HTTP status once the transfer ended; 0 before, without a
    // reply, and after Close.
    long GetHttpStatus() const;

    // Response bytes received so far; usable while the transfer runs.
    int64_t GetDownLength() const;

    // Bytes in the buffer once complete (0 before).
    int64_t GetDataLength() const;

    // The received bytes once complete (null before). Writable by the caller
    // and valid until Close or the next DownLoadFile. The buffer always holds
    // one byte more than GetDataLength(), a zero, so a caller may terminate
    // the text after the data without losing the last byte.
    char* GetDataBuf();

    // Copies up to `size` of the last bytes received so far into `out` and
    // answers how many were copied. Safe while the transfer runs.
    size_t CopyTail(char* out, size_t size) const;

    // Nonzero when a new transfer may start now: the number of running
    // transfers of the whole process is below the limit.
    int IsCanDownNow() const;

    // Cancels or ends the request and frees its data.
    void Close();

    // What ends a transfer a site drags out: fewer than lowSpeedBytes a
    // second on average over lowSpeedSeconds, or more than totalSeconds from
    // start to end. A zero turns that limit off. A site that trickles a byte
    // now and then would otherwise hold its caller for good.
    struct TransferLimits {
        long lowSpeedBytes = 1024;
        long lowSpeedSeconds = 30;
        long totalSeconds = 180;
    };

    // Process-wide settings.
    static void SetProxyInfo(_tagProxyInfo* info);
    // Applies to transfers started afterwards; negative values count as 0.
    static void SetTransferLimits(const TransferLimits& limits);
    static TransferLimits GetTransferLimits();
    static void SetMaxTransfers(int limit);  // default 16
    static int GetMaxTransfers();
    static int GetRunningTransfers();

    // Largest response kept; a longer one fails the transfer.
    static constexpr int64_t kMaxResponseBytes = 32 * 1024 * 1024;
    static constexpr int kDefaultMaxTransfers = 16;

    struct Transfer;

  private:
    std::shared_ptr<Transfer> transfer_;
    std::string cookies_;  // cookie engine state carried between requests
};

class NETFETCH_API CEscaper {
  public:
    // Decodes %XX to the byte XX and %uXXXX to the UTF-8 form of the code
    // unit, as a script's unescape() would; malformed escapes stay as they are.
    static std::string unescape(const std::string& text);
};

class NETFETCH_API CEncoder {
  public:
    // Decodes the encoded script blocks ("#@~^" ... "^#~@") of `length` bytes
    // from `in` into `out`; text outside blocks is copied unchanged. `out`
    // must hold at least length + 1 bytes; the result is zero-terminated.
    // Answers the number of bytes written (without the terminator).
    static int ScriptDecoder(const char* in, char* out, int length);
};

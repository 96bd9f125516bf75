#pragma once
/// Cutting the host's byte stream into requests.
///
/// The host writes one request (a UTF-8 path, optionally ">" and a hexadecimal
/// sub-plug-in id, then "\n") and waits for the next "ready:" before it writes
/// another. One read of up to kRequestReadSize bytes normally holds a whole
/// request; bytes after its first "\n" are discarded. A read that fills the
/// buffer without "\n" is continued while more bytes are waiting, until a "\n"
/// (or a short read), so long paths are served whole up to kMaxRequestBytes; a
/// longer request is consumed to its end and reported as oversized, which keeps
/// the server in step with the host. A request without "\n" is taken whole when
/// its last read did not fill the buffer or nothing more was waiting after it: a
/// host that writes a request of exactly kRequestReadSize bytes (or a multiple)
/// without "\n" is served, not left waiting.

#include "foundation/String.h"

/// Where request bytes come from: the host's pipe on Windows, a script in tests.
class IRequestSource {
public:
    virtual ~IRequestSource() = default;
    /// Reads up to capacity bytes; returns how many, or 0 when the input is
    /// closed or the read failed.
    virtual int Read(char* buffer, int capacity) = 0;
    /// Whether bytes are waiting, so that the next Read returns at once. Asked only
    /// after a read that filled the buffer without "\n": false serves what was read.
    virtual bool HasWaitingBytes() = 0;
};

constexpr int kRequestReadSize = 1024;
/// Windows paths reach 32,767 UTF-16 units, up to three UTF-8 bytes each.
constexpr int kMaxRequestBytes = 128 * 1024;

enum class ERequestStatus {
    Request,   ///< a request was read (possibly empty)
    Oversized, ///< a request longer than kMaxRequestBytes was read and dropped
    Closed,    ///< the input closed or failed: the server stops
};

/// Reads the next request into text (the bytes before the "\n", terminated).
ERequestStatus ReadRequest(IRequestSource& source, CAnsiString& text);

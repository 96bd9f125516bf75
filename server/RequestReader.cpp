#include "server/RequestReader.h"

#include <cstring>

ERequestStatus ReadRequest(IRequestSource& source, CAnsiString& text)
{
    text.Assign("");
    char chunk[kRequestReadSize + 1];
    int total = 0;
    // A zero byte ends the request's text, as it would for any C string; the
    // bytes up to the "\n" are still consumed.
    bool textEnded = false;
    for (;;) {
        const int count = source.Read(chunk, kRequestReadSize);
        if (count <= 0 || count > kRequestReadSize)
            return ERequestStatus::Closed;
        const void* newline = std::memchr(chunk, '\n', static_cast<size_t>(count));
        const int used = newline != nullptr ? static_cast<int>(static_cast<const char*>(newline) - chunk) : count;
        chunk[used] = 0;
        total += used;
        if (total <= kMaxRequestBytes && !textEnded) {
            text.Append(chunk);
            textEnded = std::strlen(chunk) < static_cast<size_t>(used);
        }
        if (newline != nullptr || count < kRequestReadSize || !source.HasWaitingBytes())
            break;
    }
    if (total > kMaxRequestBytes) {
        text.Assign(nullptr);
        return ERequestStatus::Oversized;
    }
    return ERequestStatus::Request;
}

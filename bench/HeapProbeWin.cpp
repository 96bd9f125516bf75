// HeapProbe.dll: a plain stereo effect whose entry point first measures the
// memory of the process that loaded it and appends one line of figures to the
// file named by the environment (bench/HeapProbe.h). The driver requests it
// between a server's plain requests to tell whose memory grows: the C runtime's
// heap (the server's own allocations), the system's other heaps, the address
// space outside heaps, and under Wine the Linux process's own view.
//
// The probe leaves nothing behind in the process: its effect is one static
// object, and it uses no C++ runtime (a statically linked one allocates a pool
// for exceptions when the library loads and never frees it); the line is built
// in a fixed buffer, and the buffer for the Linux view comes from VirtualAlloc
// after the heaps have been walked and the address space listed.

#include "bench/HeapProbe.h"
#include "foundation/Win32.h"
#include "vst/Vst2.h"

#include <malloc.h>
#include <psapi.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>

namespace field = heap_probe_field;

namespace {

constexpr std::size_t kLineCapacity = 1024;
/// What the effect tells the host.
constexpr const char* kEffectName = "Heap Probe";
constexpr const char* kVendor = "Tessivane Benchmarks";
constexpr const char* kProduct = "Tessivane Bench";
constexpr int32_t kUniqueId = 0x48705072; // "HpPr"
constexpr intptr_t kVendorVersion = 1000;
/// The shortest text buffer a host hands for names (effGetEffectName's).
constexpr std::size_t kNameBufferBytes = 32;
constexpr DWORD kMaxHeaps = 256;
constexpr std::size_t kSmapsBufferBytes = 256 * 1024;
constexpr uint64_t kKilobyte = 1024;
/// The Linux processes, through Wine's drive for the Unix root. Wine's server
/// opens files for its processes, so "self" there would be Wine's server: the
/// process is found by its command line and the files it maps instead.
constexpr const wchar_t* kProcFolder = L"Z:\\proc\\";
constexpr std::size_t kSmallFileBytes = 64 * 1024;
/// A mapping's columns before its path: addresses, permissions, offset, device, inode.
constexpr int kColumnsBeforePath = 5;
constexpr std::size_t kPathCapacity = 64;

/// One line of fields in a fixed buffer; fields that do not fit are dropped.
class CProbeLine {
public:
    /// Appends " name=value" (no space before the first field).
    void Add(const char* name, uint64_t value)
    {
        char digits[24];
        std::size_t count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        const std::size_t nameLength = std::strlen(name);
        if (m_length + 1 + nameLength + 1 + count + 1 >= kLineCapacity)
            return;
        if (m_length > 0)
            m_text[m_length++] = ' ';
        std::memcpy(m_text + m_length, name, nameLength);
        m_length += nameLength;
        m_text[m_length++] = '=';
        while (count > 0)
            m_text[m_length++] = digits[--count];
    }

    /// Ends the line with a line feed.
    void Finish() { m_text[m_length++] = '\n'; }

    const char* GetText() const { return m_text; }
    std::size_t GetLength() const { return m_length; }

private:
    char m_text[kLineCapacity] = {};
    std::size_t m_length = 0;
};

void AddWorkingSet(CProbeLine& line)
{
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory))
        line.Add(field::kWorkingSet, memory.WorkingSetSize);
}

/// The C runtime's own walk of its heap.
void AddCrtHeap(CProbeLine& line)
{
    uint64_t used = 0;
    uint64_t blocks = 0;
    uint64_t free = 0;
    _HEAPINFO entry = {};
    int status = _HEAPOK;
    while ((status = _heapwalk(&entry)) == _HEAPOK) {
        if (entry._useflag == _USEDENTRY) {
            used += entry._size;
            ++blocks;
        } else {
            free += entry._size;
        }
    }
    if (status != _HEAPEND && status != _HEAPEMPTY)
        return;
    line.Add(field::kCrtUsed, used);
    line.Add(field::kCrtBlocks, blocks);
    line.Add(field::kCrtFree, free);
}

/// Counts the resident pages of address ranges, asking the system in batches;
/// a page shared by a range and the one before it counts once.
class CResidentPages {
public:
    CResidentPages()
    {
        SYSTEM_INFO system = {};
        GetSystemInfo(&system);
        m_pageSize = system.dwPageSize;
    }

    void AddRange(const void* start, std::size_t length)
    {
        if (length == 0)
            return;
        uintptr_t page = reinterpret_cast<uintptr_t>(start) / m_pageSize;
        const uintptr_t last = (reinterpret_cast<uintptr_t>(start) + length - 1) / m_pageSize;
        if (m_counted && page == m_lastPage)
            ++page;
        for (; page <= last; ++page) {
            m_batch[m_count].VirtualAddress = reinterpret_cast<void*>(page * m_pageSize);
            if (++m_count == kBatch)
                Flush();
        }
        m_lastPage = last;
        m_counted = true;
    }

    uint64_t GetBytes()
    {
        Flush();
        return m_resident * m_pageSize;
    }

private:
    static constexpr std::size_t kBatch = 256;

    void Flush()
    {
        const DWORD bytes = static_cast<DWORD>(m_count * sizeof m_batch[0]);
        if (m_count > 0 && QueryWorkingSetEx(GetCurrentProcess(), m_batch, bytes)) {
            for (std::size_t at = 0; at < m_count; ++at)
                m_resident += m_batch[at].VirtualAttributes.Valid;
        }
        m_count = 0;
    }

    PSAPI_WORKING_SET_EX_INFORMATION m_batch[kBatch] = {};
    std::size_t m_count = 0;
    uintptr_t m_pageSize = 0;
    uintptr_t m_lastPage = 0;
    bool m_counted = false;
    uint64_t m_resident = 0;
};

struct SHeapBytes {
    uint64_t busy = 0;
    uint64_t committed = 0;
    uint64_t resident = 0; ///< bytes of the pages its blocks lie on that are in the working set
    uint64_t residentFree = 0; ///< the same for its free blocks alone
};

/// Busy bytes of a heap, and its committed bytes: those of its regions where
/// the system lists regions, else every listed block with its overhead.
SHeapBytes WalkHeap(HANDLE heap)
{
    SHeapBytes bytes;
    uint64_t regions = 0;
    uint64_t blocks = 0;
    if (!HeapLock(heap))
        return bytes;
    CResidentPages resident;
    CResidentPages residentFree;
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry)) {
        if ((entry.wFlags & PROCESS_HEAP_REGION) != 0) {
            regions += entry.Region.dwCommittedSize;
            continue;
        }
        if ((entry.wFlags & PROCESS_HEAP_UNCOMMITTED_RANGE) != 0)
            continue;
        blocks += entry.cbData + entry.cbOverhead;
        resident.AddRange(entry.lpData, entry.cbData);
        if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0)
            bytes.busy += entry.cbData;
        else
            residentFree.AddRange(entry.lpData, entry.cbData);
    }
    HeapUnlock(heap);
    bytes.committed = regions > 0 ? regions : blocks;
    bytes.resident = resident.GetBytes();
    bytes.residentFree = residentFree.GetBytes();
    return bytes;
}

void AddHeaps(CProbeLine& line)
{
    HANDLE heaps[kMaxHeaps];
    const DWORD count = GetProcessHeaps(kMaxHeaps, heaps);
    if (count == 0 || count > kMaxHeaps)
        return;
    const HANDLE crtHeap = reinterpret_cast<HANDLE>(_get_heap_handle());
    const HANDLE processHeap = GetProcessHeap();
    SHeapBytes crt;
    SHeapBytes process;
    SHeapBytes others;
    for (DWORD index = 0; index < count; ++index) {
        const SHeapBytes bytes = WalkHeap(heaps[index]);
        SHeapBytes& sum = heaps[index] == crtHeap ? crt : heaps[index] == processHeap ? process : others;
        sum.busy += bytes.busy;
        sum.committed += bytes.committed;
        sum.resident += bytes.resident;
        sum.residentFree += bytes.residentFree;
    }
    line.Add(field::kCrtHeapBusy, crt.busy);
    line.Add(field::kCrtHeapCommitted, crt.committed);
    line.Add(field::kCrtHeapResident, crt.resident);
    line.Add(field::kCrtHeapResidentFree, crt.residentFree);
    line.Add(field::kProcessHeapBusy, process.busy);
    line.Add(field::kProcessHeapCommitted, process.committed);
    line.Add(field::kOtherHeapsBusy, others.busy);
    line.Add(field::kOtherHeapsCommitted, others.committed);
    line.Add(field::kHeapCount, count);
}

void AddAddressSpace(CProbeLine& line)
{
    SYSTEM_INFO system = {};
    GetSystemInfo(&system);
    uint64_t privateBytes = 0;
    uint64_t mapped = 0;
    uint64_t image = 0;
    uint64_t regions = 0;
    MEMORY_BASIC_INFORMATION region = {};
    const char* address = static_cast<const char*>(system.lpMinimumApplicationAddress);
    while (address < system.lpMaximumApplicationAddress &&
           VirtualQuery(address, &region, sizeof region) == sizeof region && region.RegionSize > 0) {
        if (region.State != MEM_FREE)
            ++regions;
        if (region.State == MEM_COMMIT) {
            if (region.Type == MEM_PRIVATE)
                privateBytes += region.RegionSize;
            else if (region.Type == MEM_MAPPED)
                mapped += region.RegionSize;
            else if (region.Type == MEM_IMAGE)
                image += region.RegionSize;
        }
        address = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    }
    line.Add(field::kPrivateCommitted, privateBytes);
    line.Add(field::kMappedCommitted, mapped);
    line.Add(field::kImageCommitted, image);
    line.Add(field::kRegions, regions);
}

/// Resident bytes of the Linux process's mappings, by what they map.
struct SUnixView {
    uint64_t breakHeap = 0;
    uint64_t anonymous = 0;
    uint64_t libraries = 0;
    uint64_t files = 0;
    uint64_t mappings = 0;
    uint64_t* current = nullptr; ///< where the current mapping's resident size goes
};

bool StartsWith(const char* text, std::size_t length, const char* prefix)
{
    const std::size_t prefixLength = std::strlen(prefix);
    return length >= prefixLength && std::memcmp(text, prefix, prefixLength) == 0;
}

/// Whether text holds needle.
bool Contains(const char* text, std::size_t length, const char* needle)
{
    const std::size_t needleLength = std::strlen(needle);
    for (std::size_t at = 0; at + needleLength <= length; ++at) {
        if (std::memcmp(text + at, needle, needleLength) == 0)
            return true;
    }
    return false;
}

/// A mapping's first line: "start-end perms offset device inode [path]".
void StartMapping(const char* text, std::size_t length, SUnixView& view)
{
    std::size_t at = 0;
    for (int column = 0; column < kColumnsBeforePath; ++column) {
        while (at < length && text[at] != ' ')
            ++at;
        while (at < length && text[at] == ' ')
            ++at;
    }
    const char* path = text + at;
    const std::size_t pathLength = length - at;
    ++view.mappings;
    if (StartsWith(path, pathLength, "[heap]"))
        view.current = &view.breakHeap;
    else if (pathLength == 0 || path[0] == '[')
        view.current = &view.anonymous;
    else if (Contains(path, pathLength, ".so"))
        view.current = &view.libraries;
    else
        view.current = &view.files;
}

/// One line of the list: a mapping's first line starts with its address in
/// lower-case hexadecimal, its fields with a capitalised name.
void TakeSmapsLine(const char* text, std::size_t length, SUnixView& view)
{
    if (length == 0)
        return;
    const char first = text[0];
    if ((first >= '0' && first <= '9') || (first >= 'a' && first <= 'f')) {
        StartMapping(text, length, view);
        return;
    }
    if (view.current == nullptr || !StartsWith(text, length, "Rss:"))
        return;
    uint64_t kilobytes = 0;
    for (std::size_t at = 4; at < length; ++at) {
        if (text[at] >= '0' && text[at] <= '9')
            kilobytes = kilobytes * 10 + static_cast<uint64_t>(text[at] - '0');
    }
    *view.current += kilobytes * kKilobyte;
}

/// Reads the list in pieces through a buffer, taking each whole line.
bool ReadSmaps(HANDLE file, char* buffer, SUnixView& view)
{
    std::size_t kept = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer + kept, static_cast<DWORD>(kSmapsBufferBytes - kept), &read, nullptr))
            return false;
        if (read == 0)
            return true;
        const std::size_t filled = kept + read;
        std::size_t lineStart = 0;
        for (std::size_t at = 0; at < filled; ++at) {
            if (buffer[at] != '\n')
                continue;
            TakeSmapsLine(buffer + lineStart, at - lineStart, view);
            lineStart = at + 1;
        }
        kept = filled - lineStart;
        if (kept == kSmapsBufferBytes)
            return false; // a line longer than the buffer: not the list we know
        std::memmove(buffer, buffer + lineStart, kept);
    }
}

/// Reads up to capacity bytes of a file; 0 when it cannot be read.
std::size_t ReadSmallFile(const wchar_t* path, char* buffer, std::size_t capacity)
{
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    std::size_t filled = 0;
    DWORD read = 0;
    while (filled < capacity &&
           ReadFile(file, buffer + filled, static_cast<DWORD>(capacity - filled), &read, nullptr) && read > 0)
        filled += read;
    CloseHandle(file);
    return filled;
}

/// "Z:\proc\<id>\<name>".
void ProcPath(const wchar_t* id, const wchar_t* name, wchar_t (&path)[kPathCapacity])
{
    path[0] = 0;
    if (std::wcslen(kProcFolder) + std::wcslen(id) + 1 + std::wcslen(name) < kPathCapacity) {
        std::wcscat(path, kProcFolder);
        std::wcscat(path, id);
        std::wcscat(path, L"\\");
        std::wcscat(path, name);
    }
}

/// Whether the Linux process id (a folder of /proc) is this process: the first
/// word of its command line is the program's path (as its starter gave it) and
/// it maps this library's file.
bool IsThisProcess(const wchar_t* id, const char* program, const char* library, char* buffer)
{
    wchar_t path[kPathCapacity];
    ProcPath(id, L"cmdline", path);
    std::size_t length = ReadSmallFile(path, buffer, kSmallFileBytes - 1);
    buffer[length] = 0;
    const std::size_t first = std::strlen(buffer);
    const std::size_t programLength = std::strlen(program);
    const char separator = first > programLength ? buffer[first - programLength - 1] : 0;
    if ((separator != '\\' && separator != '/') || std::strcmp(buffer + first - programLength, program) != 0)
        return false;
    ProcPath(id, L"maps", path);
    length = ReadSmallFile(path, buffer, kSmapsBufferBytes);
    return length > 0 && Contains(buffer, length, library);
}

/// The Unix path of this library's file, through Wine's own export; false
/// outside Wine. The path comes from the process heap and goes back to it.
bool LibraryUnixPath(char (&unixPath)[MAX_PATH])
{
    using FUnixName = char*(CDECL*)(const wchar_t*);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto unixName = reinterpret_cast<FUnixName>(
        reinterpret_cast<void*>(kernel != nullptr ? GetProcAddress(kernel, "wine_get_unix_file_name") : nullptr));
    HMODULE self = nullptr;
    wchar_t path[MAX_PATH];
    if (unixName == nullptr ||
        !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&LibraryUnixPath), &self))
        return false;
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    char* const name = length > 0 && length < MAX_PATH ? unixName(path) : nullptr;
    if (name == nullptr)
        return false;
    const bool fits = std::strlen(name) < MAX_PATH;
    if (fits)
        std::strcpy(unixPath, name);
    HeapFree(GetProcessHeap(), 0, name);
    return fits;
}

/// The /proc folder name of this process's Linux process; false when none is found.
bool FindLinuxProcess(char* buffer, wchar_t (&id)[kPathCapacity])
{
    char library[MAX_PATH];
    if (!LibraryUnixPath(library))
        return false;
    wchar_t module[MAX_PATH];
    const DWORD moduleLength = GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (moduleLength == 0 || moduleLength >= MAX_PATH)
        return false;
    const wchar_t* name = std::wcsrchr(module, L'\\');
    name = name != nullptr ? name + 1 : module;
    char program[MAX_PATH] = {};
    for (std::size_t at = 0; name[at] != 0; ++at)
        program[at] = static_cast<char>(name[at]);
    wchar_t pattern[kPathCapacity];
    std::wcscpy(pattern, kProcFolder);
    std::wcscat(pattern, L"*");
    WIN32_FIND_DATAW found = {};
    const HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool matched = false;
    do {
        const std::size_t length = std::wcslen(found.cFileName);
        if (length == 0 || length >= kPathCapacity || std::wcsspn(found.cFileName, L"0123456789") != length)
            continue;
        matched = IsThisProcess(found.cFileName, program, library, buffer);
        if (matched)
            std::wcscpy(id, found.cFileName);
    } while (!matched && FindNextFileW(search, &found));
    FindClose(search);
    return matched;
}

/// The Linux view, read last: finding the process and reading its list take
/// memory from the system's heaps, after they were walked.
void AddUnixView(CProbeLine& line)
{
    void* const buffer = VirtualAlloc(nullptr, kSmapsBufferBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (buffer == nullptr)
        return;
    char* const text = static_cast<char*>(buffer);
    wchar_t id[kPathCapacity];
    SUnixView view;
    bool read = false;
    if (FindLinuxProcess(text, id)) {
        wchar_t path[kPathCapacity];
        ProcPath(id, L"smaps", path);
        const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            read = ReadSmaps(file, text, view);
            CloseHandle(file);
        }
    }
    VirtualFree(buffer, 0, MEM_RELEASE);
    if (!read)
        return;
    line.Add(field::kUnixBreakHeap, view.breakHeap);
    line.Add(field::kUnixAnonymous, view.anonymous);
    line.Add(field::kUnixLibraries, view.libraries);
    line.Add(field::kUnixFiles, view.files);
    line.Add(field::kUnixMappings, view.mappings);
}

/// Appends the line to the file at path.
void WriteLine(const CProbeLine& line, const char* path)
{
    const HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line.GetText(), static_cast<DWORD>(line.GetLength()), &written, nullptr);
    CloseHandle(file);
}

/// Copies a name into the host's buffer, cut to the shortest buffer hosts hand.
void CopyName(const char* name, void* buffer)
{
    char* const text = static_cast<char*>(buffer);
    std::size_t at = 0;
    for (; name[at] != 0 && at + 1 < kNameBufferBytes; ++at)
        text[at] = name[at];
    text[at] = 0;
}

intptr_t VST2_CALL Dispatch(AEffect*, int32_t opcode, int32_t, intptr_t, void* pointer, float)
{
    switch (opcode) {
    case effGetPlugCategory:
        return kPlugCategoryEffect;
    case effGetEffectName:
        CopyName(kEffectName, pointer);
        return 1;
    case effGetVendorString:
        CopyName(kVendor, pointer);
        return 1;
    case effGetProductString:
        CopyName(kProduct, pointer);
        return 1;
    case effGetVendorVersion:
        return kVendorVersion;
    case effCanDo:
        return -1;
    default:
        return 0;
    }
}

AEffect MakeEffect()
{
    AEffect effect = {};
    effect.magic = kEffectMagic;
    effect.dispatcher = Dispatch;
    effect.numInputs = 2;
    effect.numOutputs = 2;
    effect.uniqueID = kUniqueId;
    effect.version = 1;
    return effect;
}

/// The one effect; effClose leaves it as it is.
AEffect g_effect = MakeEffect();

} // namespace

/// The entry point (exported as VSTPluginMain): the figures first, then the effect.
extern "C" AEffect* VST2_CALL HeapProbeMain(AudioMasterCallback)
{
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA(kHeapProbeFileVariable, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        CProbeLine line;
        AddWorkingSet(line);
        AddCrtHeap(line);
        AddHeaps(line);
        AddAddressSpace(line);
        AddUnixView(line);
        line.Finish();
        WriteLine(line, path);
    }
    return &g_effect;
}

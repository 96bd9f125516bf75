#pragma once
/// The heap probe (bench/HeapProbe.dll, Windows only): a plain effect whose
/// entry point first measures the memory of the process that loaded it and
/// appends one line of figures to the file named by kHeapProbeFileVariable.
/// The driver sets the variable before it starts a server (which inherits it),
/// requests the probe between plain requests and reads the line back.
///
/// A line is "name=value" fields separated by spaces, values in bytes or counts
/// (decimal), ended by a line feed. A field is left out when the system cannot
/// tell it (the Linux view exists only under Wine).

/// The environment variable naming the file the probe appends to.
constexpr const char* kHeapProbeFileVariable = "TESSIVANE_HEAP_PROBE_FILE";

/// The fields of a line, by what they measure.
namespace heap_probe_field {
/// The process's working set as the process itself reads it.
constexpr const char* kWorkingSet = "ws";
/// The C runtime's heap walked by the C runtime (_heapwalk): bytes and count
/// of used blocks, bytes of free blocks. The server's own allocations (and the
/// C++ runtime's operator new) come from here.
constexpr const char* kCrtUsed = "crt.used";
constexpr const char* kCrtBlocks = "crt.blocks";
constexpr const char* kCrtFree = "crt.free";
/// Heaps walked by the system (HeapWalk): busy bytes (blocks' data) and
/// committed bytes (the heap's regions), for the C runtime's heap, the
/// process heap and all the others together; "heaps" counts them all. For the
/// C runtime's heap also the resident bytes: the pages its blocks lie on that
/// are in the working set (QueryWorkingSetEx), and those its free blocks lie on
/// (a page shared by a used and a free block counts in both).
constexpr const char* kCrtHeapBusy = "crtheap.busy";
constexpr const char* kCrtHeapCommitted = "crtheap.committed";
constexpr const char* kCrtHeapResident = "crtheap.resident";
constexpr const char* kCrtHeapResidentFree = "crtheap.resident.free";
constexpr const char* kProcessHeapBusy = "processheap.busy";
constexpr const char* kProcessHeapCommitted = "processheap.committed";
constexpr const char* kOtherHeapsBusy = "otherheaps.busy";
constexpr const char* kOtherHeapsCommitted = "otherheaps.committed";
constexpr const char* kHeapCount = "heaps";
/// The address space as the system lists it (VirtualQuery): committed bytes
/// by the region's type, and the count of regions that are not free.
constexpr const char* kPrivateCommitted = "vm.private";
constexpr const char* kMappedCommitted = "vm.mapped";
constexpr const char* kImageCommitted = "vm.image";
constexpr const char* kRegions = "vm.regions";
/// Under Wine, the Linux process's view (/proc/self/smaps): resident bytes of
/// the C library's break heap, of anonymous mappings (Windows private memory
/// and the Unix side's own), of Unix shared libraries and of other files
/// (the Windows libraries Wine maps); and the count of mappings.
constexpr const char* kUnixBreakHeap = "unix.brk";
constexpr const char* kUnixAnonymous = "unix.anon";
constexpr const char* kUnixLibraries = "unix.so";
constexpr const char* kUnixFiles = "unix.files";
constexpr const char* kUnixMappings = "unix.maps";
} // namespace heap_probe_field

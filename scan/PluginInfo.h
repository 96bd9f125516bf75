#pragma once
/// The record of one request: what the scan found out about a plug-in library.
///
/// Its fields are the members of the JSON record the host receives (see
/// RecordJson.h). The record lives for one request and is never copied; it owns
/// its sub-plug-ins through `shells`. Destruction runs in reverse field order:
/// first the shells (each CShellInfo deleted, releasing its name, then the item
/// array freed), then the strings error, version, product, vendor and name.

#include "foundation/ContainerHeap.h"
#include "foundation/Policies.h"
#include "foundation/String.h"
#include "foundation/Vector.h"

#include <cstdint>
#include <new>

/// One sub-plug-in of a shell plug-in: the id the host asks for and its name.
/// It lives on the containers' heap, like the item array that holds it, so that
/// running out of memory for either can be reported, and tested, alike.
class CShellInfo {
public:
    /// Memory for one CShellInfo; aborts when it runs out.
    static void* operator new(std::size_t bytes) { return ContainerAllocate(bytes, "CShellInfo"); }
    /// Memory for one CShellInfo, or null when it runs out.
    static void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept { return ContainerTryAllocate(bytes); }
    static void operator delete(void* block) noexcept { ContainerFree(block); }
    static void operator delete(void* block, const std::nothrow_t&) noexcept { ContainerFree(block); }

    std::int32_t id = 0;
    CString name;
};

/// The scan result of one request. A fresh record is all zero, empty and false,
/// with category -1 (the probe never reached an effect).
class CPluginInfo {
public:
    std::int32_t id = 0;          ///< the effect's uniqueID
    CString name;
    CString vendor;
    CString product;
    CString version;              ///< the vendor version, else the file version
    CString error;                ///< why the scan failed; empty on success
    std::int32_t numInputs = 0;
    std::int32_t numOutputs = 0;
    bool wantsMidi = false;
    bool sendsMidi = false;
    bool audio64 = false;
    bool synthEdit = false;
    std::int32_t category = -1;   ///< the plug-in's category answer, after corrections
    CVector<CShellInfo*, SOwnedPtr, CShellInfo*> shells; ///< sub-plug-ins of a shell, in the order found
};

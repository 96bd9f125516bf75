#pragma once
// A scan platform made of plain memory: libraries are table entries whose
// exports are functions of the test program; every call is recorded.

#include "scan/ScanPlatform.h"
#include "vst/Vst2.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

struct SFakeLibrary {
    std::u16string path;
    std::map<std::string, void*> exports;
    bool synthEdit = false;
    bool hasVersion = false;
    SFileVersion version;
};

class CFakeScanPlatform : public IScanPlatform {
public:
    CFakeScanPlatform() { SetScanPlatform(this); }
    ~CFakeScanPlatform() override { SetScanPlatform(nullptr); }
    CFakeScanPlatform(const CFakeScanPlatform&) = delete;
    CFakeScanPlatform& operator=(const CFakeScanPlatform&) = delete;

    SFakeLibrary& AddLibrary(const std::u16string& path)
    {
        libraries.emplace_back();
        libraries.back().path = path;
        return libraries.back();
    }

    void* OpenLibrary(const CString& path, uint32_t& errorCode) override
    {
        for (SFakeLibrary& library : libraries) {
            if (path.GetText() != nullptr && library.path == path.GetText()) {
                calls.push_back("open");
                ++openCount;
                return &library;
            }
        }
        calls.push_back("open failed");
        errorCode = 126;
        return nullptr;
    }
    void CloseLibrary(void* module) override
    {
        calls.push_back("close");
        EXPECT_GT(openCount, 0) << "a library closed more often than opened";
        --openCount;
        (void)module;
    }
    void* FindExport(void* module, const char* name) override
    {
        const auto& exports = static_cast<SFakeLibrary*>(module)->exports;
        const auto found = exports.find(name);
        return found == exports.end() ? nullptr : found->second;
    }
    bool HasResource(void* module, int id, const char16_t* type) override
    {
        return id == kSynthEditResourceId && std::u16string(type) == kSynthEditResourceType && static_cast<SFakeLibrary*>(module)->synthEdit;
    }
    bool ReadFileVersion(const CString& path, SFileVersion& version) override
    {
        for (const SFakeLibrary& library : libraries) {
            if (path.GetText() != nullptr && library.path == path.GetText() && library.hasVersion) {
                version = library.version;
                return true;
            }
        }
        return false;
    }
    void InstallCrashFilter() override { calls.push_back("filter"); }
    void ActivateSplash() override { calls.push_back("activate"); }
    void PumpMessages() override { calls.push_back("pump"); }

    std::deque<SFakeLibrary> libraries; ///< a deque: modules point into it
    std::vector<std::string> calls;
    int openCount = 0; ///< libraries open now
};

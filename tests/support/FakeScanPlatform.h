#pragma once
// A scan platform made of plain memory: each library is a row of the fixture
// table exporting VSTPluginMain, with the resources and version that its fixture
// DLL is built with (tests/fixtures/CMakeLists.txt); every call is recorded.

#include "FixtureTable.h"
#include "scan/ScanPlatform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

/// The library path of a row in the fake platform: "C:\<row number>.dll".
inline std::u16string FixtureLibrary(EFixture row)
{
    std::u16string path = u"C:\\";
    for (const char digit : std::to_string(static_cast<int>(row)))
        path += static_cast<char16_t>(digit);
    return path + u".dll";
}

class CFakeScanPlatform : public IScanPlatform {
public:
    CFakeScanPlatform()
    {
        for (int row = 0; row < static_cast<int>(EFixture::Count); ++row)
            m_rows.push_back(static_cast<EFixture>(row));
        SetScanPlatform(this);
    }
    ~CFakeScanPlatform() override { SetScanPlatform(nullptr); }
    CFakeScanPlatform(const CFakeScanPlatform&) = delete;
    CFakeScanPlatform& operator=(const CFakeScanPlatform&) = delete;

    /// The module of a row's library, as OpenLibrary hands it out.
    void* Module(EFixture row) { return &m_rows[static_cast<std::size_t>(row)]; }

    void* OpenLibrary(const CString& path, CString& error) override
    {
        for (EFixture& row : m_rows) {
            if (path.GetText() != nullptr && FixtureLibrary(row) == path.GetText()) {
                calls.push_back("open");
                ++openCount;
                return &row;
            }
        }
        calls.push_back("open failed");
        error.Assign(u"Failed to load library, err=126");
        return nullptr;
    }
    void CloseLibrary(void*) override
    {
        calls.push_back("close");
        EXPECT_GT(openCount, 0) << "a library closed more often than opened";
        --openCount;
    }
    void* FindExport(void* module, const char* name) override
    {
        if (std::strcmp(name, "VSTPluginMain") != 0)
            return nullptr;
        EntryRow() = *static_cast<EFixture*>(module);
        return reinterpret_cast<void*>(&Entry);
    }
    bool HasResource(void* module, int id, const char16_t* type) override
    {
        return id == kSynthEditResourceId && std::u16string(type) == kSynthEditResourceType &&
               *static_cast<EFixture*>(module) == EFixture::SynthEditResource;
    }
    bool ReadFileVersion(const CString& path, SFileVersion& version) override
    {
        const std::u16string text = path.GetText() != nullptr ? path.GetText() : u"";
        if (text == FixtureLibrary(EFixture::VersionFromFile))
            version = {0, 0, 0x00010002, 0x00030004};
        else if (text == FixtureLibrary(EFixture::VersionFromProduct))
            version = {0x00020005, 0x00010000, 0x00090008, 0x00070006};
        else
            return false;
        return true;
    }
    void InstallCrashFilter() override { calls.push_back("filter"); }
    void ActivateSplash() override { calls.push_back("activate"); }
    void PumpMessages() override { calls.push_back("pump"); }

    std::vector<std::string> calls;
    int openCount = 0; ///< libraries open now

private:
    /// The row whose entry point was looked up last: the one the probe calls.
    static EFixture& EntryRow()
    {
        static EFixture row = EFixture::PlainEffect;
        return row;
    }
    static AEffect* Entry(AudioMasterCallback host) { return BuildFixtureEffect(FixtureRow(EntryRow()), host, nullptr); }

    std::vector<EFixture> m_rows; ///< one per row, never resized: modules point into it
};

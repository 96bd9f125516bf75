// CMap and CVector: exact shapes, allocations and release order, seen through a
// recording container heap. Their agreement with std::map is fuzz/MapFuzz.cpp's.

#include "foundation/Map.h"
#include "foundation/Vector.h"

#include "ContainerTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

/// An owned element that logs "delete <id>" when it is deleted.
struct STracked {
    int id;
    CEventLog& events;
    ~STracked() { events.push_back("delete " + std::to_string(id)); }
};

using CIdSet = CMap<int, bool, SValue, SValue, int>;
using COwningMap = CMap<int, STracked*, SValue, SOwnedPtr, int>;

// The tree as text: key, B or R, then "(left,right)" unless both children are missing.
std::string Render(const CIdSet& map, const CIdSet::CNode* node)
{
    if (node == map.GetSentinel())
        return "-";
    std::string text = std::to_string(node->key) + (node->colour == CIdSet::kRed ? "R" : "B");
    if (node->left != map.GetSentinel() || node->right != map.GetSentinel())
        text += "(" + Render(map, node->left) + "," + Render(map, node->right) + ")";
    return text;
}

TEST(MapTest, InsertionSequencesGiveRedBlackShapes)
{
    const struct {
        std::vector<int> keys;
        const char* tree;
    } cases[] = {
        {{}, "-"},
        {{1, 2, 3, 4, 5}, "2B(1B,4B(3R,5R))"},
        {{5, 4, 3, 2, 1}, "4B(2B(1R,3R),5B)"},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9}, "4B(2R(1B,3B),6R(5B,8B(7R,9R)))"}, // the post-order below
        {{3, 1, 2}, "2B(1R,3R)"},
        {{1, 3, 2}, "2B(1R,3R)"},
        {{10, 5, 15, 1}, "10B(5B(1R,-),15B)"},
        {{INT32_MAX, INT32_MIN, 0, 0}, "0B(-2147483648R,2147483647R)"},
    };
    for (const auto& test : cases) {
        CIdSet map;
        for (int key : test.keys)
            map.Set(key, false);
        EXPECT_EQ(test.tree, Render(map, map.GetRoot()));
    }
}

TEST(MapTest, NodesComeFromBlocksOfFourAndGoBackInPostOrder)
{
    CEventLog events;
    {
        CRecordingHeap heap(events);
        COwningMap map;
        for (int key = 1; key <= 9; ++key) {
            map.Set(key, new STracked{key, events});
            if (key > 1 && (key - 1) % 4 != 0) {
                EXPECT_EQ(reinterpret_cast<const char*>(map.Find(key - 1)) + sizeof(COwningMap::CNode),
                          reinterpret_cast<const char*>(map.Find(key))) << "key " << key;
            }
        }
        map.Set(9, map.Find(9)->value); // the same object again is kept
        map.Set(8, new STracked{80, events});
        EXPECT_EQ(3, map.GetPool().GetBlockCount());
    }
    const std::string block = std::to_string(sizeof(COwningMap::CPool::CBlock));
    const CEventLog expected = {"allocate #1 " + block, "allocate #2 " + block, "allocate #3 " + block, "delete 8",
                                "delete 1", "delete 3", "delete 2", "delete 5", "delete 7", "delete 9",
                                "delete 80", "delete 6", "delete 4", "free #3", "free #2", "free #1"};
    EXPECT_EQ(expected, events);

    // Returned nodes come back last in, first out; the block goes with the last.
    events.clear();
    CRecordingHeap heap(events);
    CNodePool<CIdSet::CNode> pool;
    void* a = pool.Take();
    void* b = pool.Take();
    void* c = pool.Take();
    pool.Return(b);
    pool.Return(c);
    EXPECT_EQ(c, pool.Take());
    EXPECT_EQ(b, pool.Take());
    for (void* node : {b, c, a})
        pool.Return(node);
    EXPECT_EQ((CEventLog{"allocate #1 " + std::to_string(sizeof(CNodePool<CIdSet::CNode>::CBlock)), "free #1"}), events);
    EXPECT_EQ(nullptr, pool.GetFreeList());
    EXPECT_EQ(0, pool.GetNodesInUse());
}

TEST(VectorTest, GrowsTo16Then34Then70AndReleasesInIndexOrder)
{
    CEventLog events;
    {
        CRecordingHeap heap(events);
        CVector<STracked*, SOwnedPtr, STracked*> owning;
        for (int i = 0; i < 35; ++i) {
            owning.Add(i % 3 == 1 ? nullptr : new STracked{i, events});
            ASSERT_EQ(i + 1, owning.GetCount());
        }
        EXPECT_EQ(70, owning.GetCapacity());
        EXPECT_EQ(33, owning.GetAt(33)->id);
        STracked alive{99, events};
        CVector<STracked*, SValue, STracked*> referencing;
        referencing.Add(&alive);
    }
    const auto slots = [](int count) { return std::to_string(count * sizeof(void*)); };
    CEventLog expected = {"allocate #1 " + slots(16), "reallocate #1 " + slots(34), "reallocate #1 " + slots(70),
                          "allocate #2 " + slots(16), "free #2", "delete 99"};
    for (int i = 0; i < 35; ++i) {
        if (i % 3 != 1)
            expected.push_back("delete " + std::to_string(i));
    }
    expected.push_back("free #1");
    EXPECT_EQ(expected, events);
}

TEST(ContainerDeathTest, RunningOutOfMemoryAbortsWithMessageUnlessTheCallerCanReport)
{
    const struct {
        int before; ///< elements added while memory lasts
        bool map;   ///< the map's Set runs out, else the vector's Add
        const char* message;
    } cases[] = {{0, false, "out of memory: CVector item array"},
                 {16, false, "out of memory: CVector item array"},
                 {4, true, "out of memory: CMap node block"}};
    for (const auto& test : cases) {
        const auto runOut = [&test] {
            CEventLog events;
            CRecordingHeap heap(events);
            CVector<int*, SValue, int*> vector;
            CIdSet map;
            for (int i = 0; i < test.before; ++i) {
                vector.Add(nullptr);
                map.Set(i, true);
            }
            heap.failing = true;
            test.map ? map.Set(-1, true) : vector.Add(nullptr);
        };
        EXPECT_DEATH(runOut(), test.message);
    }
    CEventLog events;
    CRecordingHeap heap(events);
    CVector<int*, SValue, int*> vector;
    heap.failing = true;
    EXPECT_FALSE(vector.TryAdd(nullptr));
    EXPECT_EQ(0, vector.GetCount());
    EXPECT_EQ(nullptr, vector.GetItems());
}

} // namespace

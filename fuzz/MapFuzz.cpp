// CMap under arbitrary Set and GetAt sequences against std::map (checked after every
// step, every 16th once the map is large): Find, the red-black rules, parent links, the
// sentinel, the key-order list, the cursor, the count and the pool (one block per four
// nodes); destruction must free every block.

#include "common/FuzzCheck.h"

#include "foundation/ContainerHeap.h"
#include "foundation/Map.h"
#include "foundation/Policies.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <map>
#include <set>

namespace {

using CIdSet = CMap<int, bool, SValue, SValue, int>;
using CNode = CIdSet::CNode;

/// malloc, realloc and free, keeping the set of live blocks.
class CCountingHeap : public IContainerHeap {
public:
    std::set<void*> live;
    void* Allocate(std::size_t bytes) override { return Reallocate(nullptr, bytes); }
    void* Reallocate(void* block, std::size_t bytes) override
    {
        live.erase(block);
        return *live.insert(std::realloc(block, bytes)).first;
    }
    void Free(void* block) override
    {
        FUZZ_CHECK(live.erase(block) == 1);
        std::free(block);
    }
};

/// Checks links, key order within (low, high) and colours under node; returns the black
/// height (the sentinel counts 1) and adds the node count to count.
int CheckSubtree(const CIdSet& map, const CNode* node, const CNode* parent, std::int64_t low, std::int64_t high,
                 std::size_t& count)
{
    if (node == map.GetSentinel()) {
        return 1;
    }
    FUZZ_CHECK(node->parent == parent && node->key > low && node->key < high);
    FUZZ_CHECK(node->colour == CIdSet::kBlack ||
               (node->colour == CIdSet::kRed && node->left->colour == CIdSet::kBlack && node->right->colour == CIdSet::kBlack));
    ++count;
    const int left = CheckSubtree(map, node->left, node, low, node->key, count);
    FUZZ_CHECK_MSG(left == CheckSubtree(map, node->right, node, node->key, high, count),
                   "black heights differ under " + std::to_string(node->key));
    return left + (node->colour == CIdSet::kBlack ? 1 : 0);
}

void CheckMap(const CIdSet& map, const std::map<int, bool>& model)
{
    const CNode* sentinel = map.GetSentinel();
    FUZZ_CHECK(sentinel->colour == CIdSet::kBlack && sentinel->parent == nullptr);
    FUZZ_CHECK(sentinel->left == sentinel && sentinel->right == sentinel);
    FUZZ_CHECK(map.GetCount() == static_cast<std::int32_t>(model.size()) && map.GetPool().GetNodesInUse() == map.GetCount());
    FUZZ_CHECK(map.GetPool().GetBlockCount() == (map.GetCount() + 3) / 4);
    FUZZ_CHECK(map.GetRoot()->colour == CIdSet::kBlack && (map.GetRoot() == sentinel) == model.empty());
    std::size_t count = 0;
    CheckSubtree(map, map.GetRoot(), nullptr, INT64_MIN, INT64_MAX, count);
    FUZZ_CHECK(count == model.size());

    const CNode* node = map.GetFirst();
    const CNode* previous = nullptr;
    for (const auto& entry : model) {
        FUZZ_CHECK(node != nullptr && node->key == entry.first && node->value == entry.second);
        FUZZ_CHECK(node->previous == previous && map.Find(entry.first) == node);
        previous = node;
        node = node->next;
    }
    FUZZ_CHECK(node == nullptr && map.GetLast() == previous);

    const CNode* cursor = map.GetCursorNode();
    const std::int32_t index = map.GetCursorIndex();
    FUZZ_CHECK(cursor == nullptr ? index == -1
                                 : index >= 0 && index < map.GetCount() && cursor->key == std::next(model.begin(), index)->first);
}

/// Keys from a narrow range (so that they repeat), near the signed extremes, or anywhere.
int ConsumeKey(FuzzedDataProvider& data)
{
    switch (data.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return data.ConsumeIntegralInRange<int>(-8, 40);
    case 1: return INT32_MIN + data.ConsumeIntegralInRange<int>(0, 3);
    case 2: return INT32_MAX - data.ConsumeIntegralInRange<int>(0, 3);
    default: return data.ConsumeIntegral<int>();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    CCountingHeap heap;
    SetContainerHeap(&heap);
    {
        CIdSet map;
        std::map<int, bool> model;
        for (int step = 0; provider.remaining_bytes() > 0; ++step) {
            if (provider.ConsumeIntegralInRange<int>(0, 5) == 0) {
                const std::int32_t index = provider.ConsumeIntegralInRange<std::int32_t>(-1, map.GetCount());
                const CNode* node = map.GetAt(index);
                const bool inRange = index >= 0 && index < map.GetCount();
                FUZZ_CHECK(inRange ? node != nullptr && node->key == std::next(model.begin(), index)->first : node == nullptr);
            } else {
                const int key = ConsumeKey(provider);
                const bool value = provider.ConsumeBool();
                FUZZ_CHECK((map.Find(key) == nullptr) == (model.count(key) == 0));
                map.Set(key, value);
                model[key] = value;
            }
            if (model.size() < 64 || step % 16 == 0) {
                CheckMap(map, model);
            }
        }
        CheckMap(map, model);
        FUZZ_CHECK(heap.live.size() == static_cast<std::size_t>(map.GetPool().GetBlockCount()));
    }
    FUZZ_CHECK_MSG(heap.live.empty(), std::to_string(heap.live.size()) + " blocks left after destruction");
    SetContainerHeap(nullptr);
    return 0;
}

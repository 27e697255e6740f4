// Object addresses (the dump's identifiers) to dense object numbers, in about one byte
// per object. The heap is cut into 1 MiB blocks; a block where objects start keeps a
// bitmap with one bit per 8-byte word and, once reading is done, a count of the bits
// before each 64-bit word, so an address's rank in its block is two loads and a
// popcount. Objects are numbered in the order the dump gives them; a block whose objects
// came in one run, in address order (all of a heap region's objects, as HotSpot writes
// them), needs only its first number; any other block keeps its numbers in rank order
// (ZGC and Shenandoah write every block so: about 8 bytes per object in all).
//
// While reading, an address is also named by a compact address (block index in
// first-seen order, word in block), so references resolve with no hashing once reading
// ends. It fits in 32 bits while the heap's objects and references lie in fewer than
// 32768 different megabytes (32 GiB), so references wait for their targets in 4 bytes
// instead of 8; a larger heap's compact addresses need up to 48 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "id_hash_map.h"

class AddressMap {
public:
    static constexpr unsigned kBlockShift = 20;
    static constexpr unsigned kWordShift = 3;
    static constexpr unsigned kWordBits = kBlockShift - kWordShift;  // 17: words per block
    static constexpr uint32_t kBitWords = (1u << kWordBits) / 64;    // 2048 64-bit words of bitmap
    // Compact addresses are the block's index above 17 bits of word. kInvalid, all-ones
    // in 32 bits, falls in block 32767, which is never given to a megabyte, so a compact
    // address stored in 32 bits and one stored in more agree on it.
    static constexpr uint32_t kNarrowBlocks = 1u << (32 - kWordBits);
    static constexpr uint64_t kInvalid = UINT32_MAX;
    // Blocks are made for every megabyte a reference names, present or not: beyond this
    // many, only as many more as 16 per block where objects start, so a dump whose
    // references name megabytes of addresses at random cannot claim memory without
    // bound. Real heaps name far fewer megabytes without objects.
    static constexpr uint32_t kFreeBlocks = 2 * kNarrowBlocks;
    static constexpr uint32_t kBlocksPerObjectBlock = 16;
    static constexpr uint32_t kMaxBlocks = (1u << 31) - 1;  // compact addresses stay under 2^48
    // Bitmap and ranks of one block where objects start.
    static constexpr size_t kBlockBytes = kBitWords * (sizeof(uint64_t) + sizeof(uint16_t));

    AddressMap();

    // --- while reading ---
    // The compact address of any address: kInvalid for one no object can start at (not
    // 8-aligned), or once more megabytes are named than the blocks allowed (see
    // tooManyBlocks()).
    uint64_t compact(uint64_t address)
    {
        if (address & ((1u << kWordShift) - 1))
            return kInvalid;
        const uint64_t megabyte = address >> kBlockShift;
        const size_t c = static_cast<size_t>(megabyte & (kCacheSize - 1));
        const uint32_t block = cacheMegabyte_[c] == megabyte ? cacheBlock_[c] : blockFor(address);
        if (block == kInvalidBlock)
            return kInvalid;
        return (uint64_t{block} << kWordBits) | ((address >> kWordShift) & ((1u << kWordBits) - 1));
    }
    enum class Define { Added, Duplicate, Unaligned, TooManyBlocks };
    // Object `number` starts at `address`; numbers must come in increasing order.
    Define define(uint64_t address, uint32_t number)
    {
        // The usual case: the next object of the run going on in the same block.
        if ((address >> kBlockShift) == lastMegabyte_ && !(address & ((1u << kWordShift) - 1))) {
            Block& block = blocks_[lastBlock_];
            const uint32_t word = static_cast<uint32_t>((address >> kWordShift) & ((1u << kWordBits) - 1));
            if (!block.explicitNumbers && number == block.lastNumber + 1 && word > block.lastWord) {
                // Words beyond the last are still clear, so no duplicate check is needed.
                block.bits[word >> 6] |= uint64_t{1} << (word & 63);
                block.lastNumber = number;
                block.lastWord = word;
                ++block.count;
                addressBits_ |= address;
                return Define::Added;
            }
        }
        return defineSlow(address, number);
    }
    size_t bitmapBytes() const { return blocksWithObjects_ * kBlockBytes; }
    // Whether a megabyte was refused a block: the dump names more than the allowance.
    bool tooManyBlocks() const { return tooManyBlocks_; }
    // OR of every object address defined, whose lowest set bit is the object alignment.
    uint64_t addressBits() const { return addressBits_; }

    // --- once every object is defined ---
    void finish();
    // The object starting at a compact address, or UINT32_MAX.
    uint32_t numberOf(uint64_t compactAddress) const
    {
        const uint64_t b = compactAddress >> kWordBits;
        if (b >= views_.size())  // kInvalid's block is never a real one
            return UINT32_MAX;
        return numberIn(views_[b], static_cast<uint32_t>(compactAddress & ((1u << kWordBits) - 1)));
    }
    // Brings what numberOf(compactAddress) will read into the cache, for loops that
    // resolve many addresses in a row.
    void prefetch(uint64_t compactAddress) const
    {
        const uint64_t b = compactAddress >> kWordBits;
        if (b < views_.size() && views_[b].bits) {
            const uint32_t bw = static_cast<uint32_t>(compactAddress & ((1u << kWordBits) - 1)) >> 6;
            __builtin_prefetch(views_[b].bits + bw);
            __builtin_prefetch(views_[b].wordRank + bw);
        }
    }
    // The object starting at an address, or UINT32_MAX.
    uint32_t numberAt(uint64_t address) const;
    uint64_t addressOf(uint32_t number) const;
    // f(number, address) for every object in address order; with a stride of k, only for
    // those in every k-th block (a sample spread over the heap).
    template <typename F>
    void forEachInAddressOrder(F&& f, uint32_t blockStride = 1) const;

    uint32_t blockCount() const { return static_cast<uint32_t>(blocks_.size()); }
    uint32_t explicitBlockCount() const { return explicitBlocks_; }
    size_t memoryBytes() const;

private:
    struct Block {
        uint64_t base = 0;              // address of the block's first byte
        std::vector<uint64_t> bits;     // kBitWords words, once an object starts here
        std::vector<uint16_t> wordRank; // after finish: set bits of the half-block before each word
        uint32_t halfRank = 0;          // set bits in the first half-block
        uint32_t count = 0;
        uint32_t firstNumber = 0;       // one run: number of the lowest address
        uint32_t lastNumber = 0;
        uint32_t lastWord = 0;
        bool explicitNumbers = false;
        std::vector<std::pair<uint32_t, uint32_t>> pending;  // (word, number) while reading
        std::vector<uint32_t> numbers;  // after finish, explicit blocks: numbers in rank order
    };

    // What a lookup needs of a block, in one dense array once reading is done.
    struct BlockView {
        const uint64_t* bits = nullptr;
        const uint16_t* wordRank = nullptr;
        const uint32_t* numbers = nullptr;  // explicit blocks
        uint32_t halfRank = 0;
        uint32_t firstNumber = 0;
    };
    uint32_t numberIn(const BlockView& view, uint32_t word) const
    {
        const uint32_t bw = word >> 6;
        if (!view.bits)
            return UINT32_MAX;
        const uint64_t bits = view.bits[bw];
        const uint64_t bit = uint64_t{1} << (word & 63);
        if (!(bits & bit))
            return UINT32_MAX;
        const uint32_t r = (bw >= kBitWords / 2 ? view.halfRank : 0) + view.wordRank[bw] +
                           static_cast<uint32_t>(__builtin_popcountll(bits & (bit - 1)));
        return view.numbers ? view.numbers[r] : view.firstNumber + r;
    }

    static constexpr uint32_t kInvalidBlock = UINT32_MAX;
    uint32_t blockFor(uint64_t address);
    Define defineSlow(uint64_t address, uint32_t number);
    uint32_t findBlock(uint64_t address) const;
    uint32_t select(const Block& block, uint32_t rank) const;

    std::vector<Block> blocks_;
    IdHashMap blockOfMegabyte_;
    static constexpr size_t kCacheSize = 4096;
    std::vector<uint64_t> cacheMegabyte_;  // direct-mapped cache in front of the map
    std::vector<uint32_t> cacheBlock_;
    size_t blocksWithObjects_ = 0;
    uint64_t lastMegabyte_ = UINT64_MAX;  // of the last object defined
    uint32_t lastBlock_ = 0;
    uint64_t addressBits_ = 0;
    uint32_t explicitBlocks_ = 0;
    bool tooManyBlocks_ = false;

    // After finish: per block, what a lookup reads; blocks with objects by address; and
    // number -> block for addressOf.
    std::vector<BlockView> views_;
    std::vector<uint32_t> blocksByAddress_;
    std::vector<std::pair<uint32_t, uint32_t>> runStarts_;        // (first number, block), one-run blocks
    std::vector<std::pair<uint32_t, uint32_t>> explicitAddresses_; // (number, compact address)
    std::vector<std::pair<uint32_t, uint64_t>> explicitWide_;      // the same, past 32 bits
    std::vector<uint32_t> compactOfNumber_;  // instead, when most objects are out of order
};

template <typename F>
void AddressMap::forEachInAddressOrder(F&& f, uint32_t blockStride) const
{
    for (size_t i = 0; i < blocksByAddress_.size(); i += blockStride) {
        const Block& block = blocks_[blocksByAddress_[i]];
        uint32_t k = 0;
        for (uint32_t bw = 0; bw < kBitWords; ++bw) {
            for (uint64_t x = block.bits[bw]; x != 0; x &= x - 1) {
                const uint32_t word = bw * 64 + static_cast<uint32_t>(__builtin_ctzll(x));
                const uint32_t number = block.explicitNumbers ? block.numbers[k] : block.firstNumber + k;
                ++k;
                f(number, block.base + (uint64_t{word} << kWordShift));
            }
        }
    }
}

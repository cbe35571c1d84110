// A particle's walk run ahead of the committed cluster. Walkers on other
// threads read the live maps while particles before theirs are still being
// committed, so a walk may have read a bit that a later commit changed. The
// walk records every read; before the walk is committed its reads are
// checked against the commits it may not have seen, and it is taken back to
// just before the first read such a commit could have changed and walked on
// from there. Replaying its own stream to that point gives exactly the walk
// it had, so the walk committed is the one a single thread would have made.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/walk.h"

namespace zorv::ahead {

// What the commit of one particle did to the maps, for the walkers.
struct Change {
    int x = 0, y = 0;      // the pixel the particle was drawn on
    bool changed = false;  // whether its cluster bit flipped (not when it was drawn on the cluster)
    int radius = 0;        // the seeding circle's radius after it
};

// The changes of the last committed particles, by particle number; it holds
// more particles than walkers can run ahead.
class ChangeLog {
public:
    explicit ChangeLog(std::size_t atleast) {
        std::size_t n = 1;
        while (n < atleast) n <<= 1;
        ring_.resize(n);
    }
    Change& at(std::int64_t particle) { return ring_[static_cast<std::size_t>(particle) & (ring_.size() - 1)]; }
    const Change& at(std::int64_t particle) const {
        return ring_[static_cast<std::size_t>(particle) & (ring_.size() - 1)];
    }

private:
    std::vector<Change> ring_;
};

// The packed reads of a walk, one per step; grows without clearing.
class Reads {
public:
    std::size_t size() const { return size_; }
    const std::uint32_t* data() const { return data_.get(); }
    std::uint32_t operator[](std::size_t i) const { return data_[i]; }
    // Room for n more reads past the end, written through the pointer.
    std::uint32_t* reserve(std::size_t n) {
        if (size_ + n > capacity_) {
            const std::size_t capacity = std::max(size_ + n, 2 * capacity_);
            std::unique_ptr<std::uint32_t[]> bigger(new std::uint32_t[capacity]);
            std::copy(data_.get(), data_.get() + size_, bigger.get());
            data_ = std::move(bigger);
            capacity_ = capacity;
        }
        return data_.get() + size_;
    }
    void resize(std::size_t n) { size_ = n; }  // within what was reserved
    void push(std::uint32_t read) {
        *reserve(1) = read;
        ++size_;
    }

private:
    std::unique_ptr<std::uint32_t[]> data_;
    std::size_t size_ = 0, capacity_ = 0;
};

// Steps read between two looks at the committed cluster.
struct Segment {
    std::int64_t first = 0;          // its first step
    zorv::walk::WalkState start{};   // the walk before that step
    std::int64_t snapshot = 0;       // its reads saw every commit up to this particle
    unsigned x0 = 1, y0 = 1, x1 = 0, y1 = 0;  // a box holding its reads (as recorded); empty while x0 > x1
};

// Work done on a walk beyond the walk that is finally committed.
struct Counts {
    std::int64_t walked = 0;     // steps walked, the committed ones included
    std::int64_t replayed = 0;   // steps replayed to take a walk back
    std::int64_t continued = 0;  // times a walk was taken back and walked on
    std::int64_t restarted = 0;  // times a walk began again at a moved seeding circle
    Counts& operator+=(const Counts& o) {
        walked += o.walked;
        replayed += o.replayed;
        continued += o.continued;
        restarted += o.restarted;
        return *this;
    }
};

struct Speculation {
    std::int64_t particle = 0;
    int radius = 0;                     // the seeding circle it launched from
    double angle = 0;                   // its launch angle's draw
    int grey = 0;                       // its grey shade's step
    std::uint64_t stream = 0;           // its step generator after the fixed draws
    zorv::walk::Walker walker{};
    zorv::walk::WalkState state{};
    bool resting = false;               // its last contact held
    std::int64_t checked = 0;           // its reads are checked against every commit up to this particle
    bool recording = false;
    Reads reads;
    std::vector<std::int64_t> refusals;  // the steps whose contact the stickiness draw refused
    std::vector<Segment> segments;
    Counts counts;

    // Starts the walk again from its launch point.
    void relaunch(const zorv::walk::Walker& w, int r) {
        walker = w;
        radius = r;
        state = zorv::walk::startwalk(w, stream);
        resting = false;
        reads.resize(0);
        refusals.clear();
        segments.clear();
    }
};

// Whether a change at pixel (px, py) can change the bit a read saw: the
// pixel's own cluster bit (rule 0), or the near bits of its eight
// neighbours (rules 1 and 2). Positions here are those of the recorded
// reads: one more than the canvas's each way; a read off the canvas is at
// (0, 0), next to nothing that can change.
inline bool affects(zorv::walk::Rule rule, std::uint32_t read, int shift, unsigned px, unsigned py) {
    const unsigned rx = read & ((1u << shift) - 1), ry = read >> shift;
    if (rule == zorv::walk::LANDING) return rx == px && ry == py;
    return read != zorv::walk::OFFCANVAS && rx + 1 - px <= 2 && ry + 1 - py <= 2 && (rx != px || ry != py);
}

// Reads between two samples of a segment's box: the box of every
// SAMPLE-th read, widened by SAMPLE, holds every read, since a walker moves
// one pixel a step but for its escapes, which put it back at its point of
// return, whose own widened box is added.
constexpr unsigned SAMPLE = 16;

// The box of the reads of the last segment, which has just ended.
inline void closesegment(Speculation& sp, int shift) {
    Segment& seg = sp.segments.back();
    const std::uint32_t mask = (1u << shift) - 1;
    const unsigned backx = static_cast<unsigned>(sp.walker.backx + 1);
    const unsigned backy = static_cast<unsigned>(sp.walker.backy + 1);
    unsigned x0 = backx, y0 = backy, x1 = backx, y1 = backy;
    const std::uint32_t* reads = sp.reads.data();
    for (std::size_t i = static_cast<std::size_t>(seg.first); i < sp.reads.size(); i += SAMPLE) {
        const unsigned x = reads[i] & mask, y = reads[i] >> shift;
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
    }
    seg.x0 = x0 > SAMPLE ? x0 - SAMPLE : 0;
    seg.y0 = y0 > SAMPLE ? y0 - SAMPLE : 0;
    seg.x1 = x1 + SAMPLE;
    seg.y1 = y1 + SAMPLE;
}

// The maps a walk reads: its rule's, and the folded one with the ring of
// the seeding circle in force (rules 0 and 2).
struct Maps {
    zorv::walk::MapView rule, folded;
};

// Takes up to `limit` steps, and the stickiness draw at a contact. With the
// walk recording, the steps form a segment whose reads saw every commit up
// to `snapshot`. Returns true when the particle came to rest.
template <bool Outward, zorv::walk::Rule ContactRule>
bool walkblock(Speculation& sp, const Maps& m, std::int64_t limit, std::int64_t snapshot) {
    using namespace zorv::walk;
    const std::int64_t before = sp.state.steps;
    if (!sp.recording) {
        const bool contact = somesteps<Outward, ContactRule, false>(sp.state, sp.walker, &m.folded, m.rule, limit);
        sp.counts.walked += sp.state.steps - before;
        if (contact) sp.resting = sticks(sp.state, sp.walker);
        return sp.resting;
    }
    sp.segments.push_back(Segment{before, sp.state, snapshot});
    std::uint32_t* out = sp.reads.reserve(static_cast<std::size_t>(limit));
    const bool contact = somesteps<Outward, ContactRule, true>(sp.state, sp.walker, &m.folded, m.rule, limit, out);
    sp.counts.walked += sp.state.steps - before;
    sp.reads.resize(sp.reads.size() + static_cast<std::size_t>(sp.state.steps - before) - (contact ? 1 : 0));
    if (contact) {
        const int x = readx<ContactRule>(sp.state), y = ready<ContactRule>(sp.state);
        sp.reads.push(oncanvas(m.rule, x, y) ? packread(x, y, m.rule.pitchshift) : OFFCANVAS);
        sp.resting = sticks(sp.state, sp.walker);
        if (!sp.resting) sp.refusals.push_back(sp.state.steps - 1);
    }
    closesegment(sp, m.rule.pitchshift);
    return sp.resting;
}

// Replays the walk's own stream from a segment's start to just before step
// `target`: no map is read, the contacts it had are taken from its refusals.
template <bool Outward>
zorv::walk::WalkState replay(const Speculation& sp, const Segment& seg, std::int64_t target) {
    zorv::walk::WalkState st = seg.start;
    auto refusal = std::lower_bound(sp.refusals.begin(), sp.refusals.end(), seg.first);
    while (st.steps < target) {
        st.xpos1 = st.xpos2;
        st.ypos1 = st.ypos2;
        const std::uint64_t r = zorvsteps(st.rng);
        st.xpos2 += unitstep(static_cast<std::uint32_t>(r));
        st.ypos2 += unitstep(static_cast<std::uint32_t>(r >> 32));
        const std::int64_t dx = st.xpos2 - sp.walker.xcenter, dy = st.ypos2 - sp.walker.ycenter;
        st.distance2 = dx * dx + dy * dy;
        if (Outward ? st.distance2 > sp.walker.bound2 : st.distance2 < sp.walker.bound2) {
            st.xpos2 = sp.walker.backx;
            st.ypos2 = sp.walker.backy;
            ++st.escapes;
        }
        if (refusal != sp.refusals.end() && *refusal == st.steps) {
            zorvsteps(st.rng);
            ++st.refused;
            ++refusal;
        }
        ++st.steps;
    }
    return st;
}

// Takes the walk back to just before step `target`, to be walked on.
template <bool Outward>
void takeback(Speculation& sp, std::int64_t target) {
    std::size_t j = sp.segments.size() - 1;
    while (sp.segments[j].first > target) --j;
    const Segment seg = sp.segments[j];
    sp.state = replay<Outward>(sp, seg, target);
    sp.counts.replayed += target - seg.first;
    ++sp.counts.continued;
    sp.resting = false;
    sp.reads.resize(static_cast<std::size_t>(target));
    sp.refusals.erase(std::lower_bound(sp.refusals.begin(), sp.refusals.end(), target), sp.refusals.end());
    // The segment keeps its earlier reads, and its box, which still holds them.
    sp.segments.resize(seg.first == target ? j : j + 1);
}

// Checks the walk's reads against the commits after those it was checked
// against, up to particle `upto`, and takes it back to before the first
// read one of them could have changed. Returns true when the walk stands.
template <bool Outward>
bool check(Speculation& sp, const ChangeLog& log, zorv::walk::Rule rule, int shift, std::int64_t upto) {
    const unsigned reach = rule == zorv::walk::LANDING ? 0 : 1;
    std::int64_t first = static_cast<std::int64_t>(sp.reads.size());  // the earliest read changed
    for (std::int64_t m = sp.checked + 1; m <= upto; ++m) {
        const Change& c = log.at(m);
        if (!c.changed) continue;
        const unsigned px = static_cast<unsigned>(c.x + 1), py = static_cast<unsigned>(c.y + 1);
        for (std::size_t j = 0; j < sp.segments.size(); ++j) {
            const Segment& seg = sp.segments[j];
            if (seg.first >= first) break;
            // Reads made after the commit saw it.
            if (seg.snapshot >= m || seg.x0 > seg.x1) continue;
            if (px + reach < seg.x0 || px > seg.x1 + reach || py + reach < seg.y0 || py > seg.y1 + reach) continue;
            const std::int64_t end =
                std::min(first, j + 1 < sp.segments.size() ? sp.segments[j + 1].first
                                                           : static_cast<std::int64_t>(sp.reads.size()));
            for (std::int64_t i = seg.first; i < end; ++i)
                if (affects(rule, sp.reads[static_cast<std::size_t>(i)], shift, px, py)) {
                    first = i;
                    break;
                }
        }
    }
    sp.checked = std::max(sp.checked, upto);
    if (first == static_cast<std::int64_t>(sp.reads.size())) return true;
    takeback<Outward>(sp, first);
    return false;
}

}  // namespace zorv::ahead

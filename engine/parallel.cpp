#include "engine/parallel.h"

#include <atomic>
#include <memory>
#include <thread>

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <ctime>
#include <vector>

#include "engine/ahead.h"
#include "engine/directions.h"
#include "engine/stream.h"

namespace zorv::grow {
namespace {

using zorv::ahead::Speculation;
using zorv::walk::Rule;

// A place for one particle's walk. Particle n may walk in slot n % slots
// once the particle that walked there before is committed.
struct alignas(64) Slot {
    std::atomic<std::int64_t> turn{0};   // the particle that may walk here next
    std::atomic<std::int64_t> ready{0};  // the particle whose walk here has come to rest
    // The walk, on lines of its own: the walker writes it at every block
    // while the committing thread looks at `ready`.
    alignas(64) Speculation sp;
};

// Particles each thread may run ahead of the committed cluster.
constexpr int WINDOW = 4;

// Where threads wait for the walks' slots to come free and their particles
// to come to rest: a count that goes up at every such change, and a futex
// to sleep on until it does, so that a waiting thread leaves its core to
// the thread it waits for.
class Gate {
public:
    std::uint32_t seen() const { return count_.load(); }
    // Sleeps until the gate opens after `seen`, or the time passes.
    void wait(std::uint32_t seen, long microseconds) {
        waiters_.fetch_add(1);
        if (count_.load() == seen) {
            timespec limit{0, microseconds * 1000};
            syscall(SYS_futex, word(), FUTEX_WAIT_PRIVATE, seen, &limit, nullptr, 0);
        }
        waiters_.fetch_sub(1);
    }
    void open() {
        count_.fetch_add(1);
        if (waiters_.load() > 0) syscall(SYS_futex, word(), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
    }

private:
    std::uint32_t* word() { return reinterpret_cast<std::uint32_t*>(&count_); }
    std::atomic<std::uint32_t> count_{0};
    std::atomic<int> waiters_{0};
};
static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));

// Spins before a thread sleeps at the gate: about 0.1 ms, longer than a
// usual wait for the next commit. A thread woken from the futex comes back
// late on a virtual machine, and sleeping at every short wait cost a tenth
// of the speed on two cores. With more threads than cores a spinning thread
// holds up the one it waits for, and spins only briefly.
constexpr int SPINS = 4096, SHORTSPINS = 64;
inline void spin() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

template <class Run, Rule ContactRule>
class Driver {
public:
    Driver(const Options& o, const Hooks& hooks, GrowthState& s, HDC windowdc)
        : o_(o), hooks_(hooks), s_(s), windowdc_(windowdc),
          maps_{zorv::walk::viewof<ContactRule>(growth::canvasmap()), zorv::walk::foldedview(growth::canvasmap())},
          key_(stream::streamkey(o.seed)),
          threads_(o.lookahead > 0 ? 1 : std::max(o.threads, 1)),
          spins_(static_cast<unsigned>(threads_) <= std::thread::hardware_concurrency() ? SPINS : SHORTSPINS),
          // Walkers run ahead by up to four particles each.
          slotcount_(o.lookahead > 0 ? o.lookahead + 1 : threads_ == 1 ? 1 : WINDOW * threads_),
          slots_(new Slot[static_cast<std::size_t>(slotcount_)]),
          log_(static_cast<std::size_t>(slotcount_) + 2),
          stick_(stickthreshold(probability)), xcenter_(s.xcenter), ycenter_(s.ycenter), firstradius_(s.radius) {
        for (int i = 0; i < slotcount_; ++i) slots_[i].turn.store(i == 0 ? slotcount_ : i);
        radius_.store(s.radius);
    }

    Result run() {
        if (Run::OUTWARD && growth::canvasmap().population == 0) return result_;
        if (o_.lookahead > 0) {
            ahead();
        } else {
            std::vector<std::thread> workers;
            for (int i = 1; i < threads_; ++i) workers.emplace_back([this] { worker(); });
            grow();
            finish_.store(true);
            gate_.open();
            for (std::thread& t : workers) t.join();
        }
        // The walks still out when growth ended were wasted.
        for (int i = 0; i < slotcount_; ++i) counts_ += slots_[i].sp.counts;
        result_.walked = counts_.walked;
        result_.replayed = counts_.replayed;
        result_.continued = counts_.continued;
        result_.restarted = counts_.restarted;
        return result_;
    }

private:
    enum class Walking { WORKER, MAIN, ALONE };  // a worker; the committing thread; nothing commits meanwhile

    Slot& slot(std::int64_t n) { return slots_[n % slotcount_]; }

    // Starts particle n's walk from the circle and the cluster committed so far.
    void begin(Speculation& sp, std::int64_t n, bool recording) {
        const stream::ParticleDraws d = stream::particledraws(key_, n);
        sp.particle = n;
        sp.angle = d.angle;
        sp.grey = d.grey;
        sp.stream = d.steps;
        sp.counts = {};
        sp.recording = recording;
        relaunch(sp);
    }

    // The circle is the one in force after the last commit seen, whose
    // ring the folded map holds.
    void relaunch(Speculation& sp) {
        sp.checked = committed_.load(std::memory_order_acquire);
        const int r = sp.checked == 0 ? firstradius_ : log_.at(sp.checked).radius;
        sp.relaunch(growth::launch<Run>(r, xcenter_, ycenter_, stick_, sp.angle), r);
    }

    // Every particle before this walk's is committed: nothing can change
    // what it reads from here on. Its walk so far is made to stand against
    // the last commits, and it walks on without recording. The oldest walk
    // out is the one the others wait for, and often a long one.
    void makefinal(Speculation& sp, std::int64_t snapshot) {
        if (!restarted(sp)) ahead::check<Run::OUTWARD>(sp, log_, ContactRule, maps_.rule.pitchshift, snapshot);
        sp.recording = false;
    }

    // A walk launched from a seeding circle that has moved since begins
    // again from the circle in force. True when it did.
    bool restarted(Speculation& sp) {
        if (radius_.load(std::memory_order_relaxed) == sp.radius) return false;
        ++sp.counts.restarted;
        relaunch(sp);
        return true;
    }

    // Walks until the particle comes to rest, and, while it records, until
    // its reads stand against what was committed meanwhile. False when
    // growth ended first.
    bool walk(Speculation& sp, Walking who) {
        for (;;) {
            const std::int64_t snapshot = committed_.load(std::memory_order_acquire);
            if (sp.recording && snapshot == sp.particle - 1) makefinal(sp, snapshot);
            if (ahead::walkblock<Run::OUTWARD, ContactRule>(sp, maps_, zorv::walk::BLOCK, snapshot)) {
                if (!sp.recording) return true;
                const std::int64_t upto = committed_.load(std::memory_order_acquire);
                if (!restarted(sp) && ahead::check<Run::OUTWARD>(sp, log_, ContactRule, maps_.rule.pitchshift, upto))
                    return true;
            }
            if (finish_.load(std::memory_order_relaxed)) return false;
            if (who != Walking::WORKER && !pollmain(who == Walking::MAIN)) return false;
            if (sp.recording) restarted(sp);
        }
    }

    // Between two blocks of the calling thread's walk: commits what is
    // ready and, now and then, asks the hooks whether to go on.
    bool pollmain(bool commits) {
        if (commits && !committing_) commitready();
        if (++polls_ % 64 == 0 && hooks_.poll && !hooks_.poll()) end(End::STOPPED);
        return !finish_.load(std::memory_order_relaxed);
    }

    void end(End e) {
        result_.end = e;
        finish_.store(true, std::memory_order_relaxed);
        gate_.open();
    }

    void commitready() {
        committing_ = true;
        bool committed = false;
        for (;;) {
            const std::int64_t n = committed_.load(std::memory_order_relaxed) + 1;
            if (finish_.load(std::memory_order_relaxed) || slot(n).ready.load(std::memory_order_acquire) != n) break;
            committed = true;
            if (!commit(n)) break;
        }
        // Slots came free.
        if (committed) gate_.open();
        committing_ = false;
    }

    // Makes particle n's walk the one a single thread would have made, and
    // commits it. False when growth ends with it.
    bool commit(std::int64_t n) {
        Speculation& sp = slot(n).sp;
        // Nothing else commits now: what is walked from here on stands.
        if (sp.radius != s_.radius) {
            ++sp.counts.restarted;
            sp.recording = false;
            relaunch(sp);
            if (!walk(sp, Walking::ALONE)) return false;
        } else if (sp.recording && !ahead::check<Run::OUTWARD>(sp, log_, ContactRule, maps_.rule.pitchshift, n - 1)) {
            sp.recording = false;
            if (!walk(sp, Walking::ALONE)) return false;
        }
        counts_ += sp.counts;
        sp.counts = {};
        const zorv::walk::WalkEnd e = zorv::walk::endof(sp.state, false);
        const std::int64_t population = growth::canvasmap().population;
        if (growth::restparticle<Run>(s_, e, windowdc_, [&sp] { return sp.grey; })) {
            result_.finalwalk = e.steps;
            end(End::COMPLETE);
            return false;
        }
        result_.particles = n;
        log_.at(n) = ahead::Change{s_.restx, s_.resty, growth::canvasmap().population != population, s_.radius};
        growth::syncring<Run>(s_);
        radius_.store(s_.radius, std::memory_order_relaxed);
        committed_.store(n, std::memory_order_release);
        slot(n).turn.store(n + slotcount_, std::memory_order_release);
        if ((hooks_.settled && !hooks_.settled()) || (hooks_.poll && !hooks_.poll())) {
            end(End::STOPPED);
            return false;
        }
        if (o_.particles > 0 && n >= o_.particles) {
            end(End::PARTICLES);
            return false;
        }
        // Grey particles of the background's own shade can erase an
        // outward cluster; no walker could come to rest again.
        if (Run::OUTWARD && growth::canvasmap().population == 0) {
            end(End::COMPLETE);
            return false;
        }
        return true;
    }

    // Claims the next particle's slot. False when growth ended first.
    bool claim(std::int64_t& n, Walking who) {
        n = claimed_.fetch_add(1, std::memory_order_relaxed) + 1;
        Slot& sl = slot(n);
        for (int spins = 0;; ++spins) {
            const std::uint32_t seen = gate_.seen();
            if (sl.turn.load(std::memory_order_acquire) == n) return true;
            if (finish_.load(std::memory_order_relaxed)) return false;
            // The calling thread commits what comes to rest meanwhile, and
            // asks the hooks, at least every 200 microseconds.
            if (who == Walking::MAIN && !pollmain(true)) return false;
            if (spins < spins_) spin();
            else gate_.wait(seen, who == Walking::MAIN ? 200 : 10000);
        }
    }

    // The calling thread: walks particles and commits them in order.
    void grow() {
        while (!finish_.load(std::memory_order_relaxed)) {
            std::int64_t n = 0;
            if (!claim(n, Walking::MAIN)) return;
            Speculation& sp = slot(n).sp;
            begin(sp, n, threads_ > 1);
            if (!walk(sp, Walking::MAIN)) return;
            slot(n).ready.store(n, std::memory_order_release);
            commitready();
            gate_.open();
        }
    }

    void worker() {
        for (;;) {
            std::int64_t n = 0;
            if (!claim(n, Walking::WORKER)) return;
            Speculation& sp = slot(n).sp;
            begin(sp, n, true);
            if (!walk(sp, Walking::WORKER)) return;
            slot(n).ready.store(n, std::memory_order_release);
            gate_.open();
        }
    }

    // The counting run: particle k walks once the particles up to k - W are
    // committed, and is committed after the W - 1 particles before it.
    void ahead() {
        const int w = o_.lookahead;
        auto walkahead = [this](std::int64_t k) {
            Speculation& sp = slot(k).sp;
            begin(sp, k, true);
            if (!walk(sp, Walking::ALONE)) return false;
            slot(k).ready.store(k);
            return true;
        };
        for (std::int64_t k = 1; k <= w; ++k)
            if (!walkahead(k)) return;
        for (std::int64_t n = 1; commit(n); ++n)
            if (!walkahead(n + w)) return;
    }

    const Options& o_;
    const Hooks& hooks_;
    GrowthState& s_;
    HDC windowdc_;
    const ahead::Maps maps_;
    const std::uint64_t key_;
    const int threads_, spins_, slotcount_;
    std::unique_ptr<Slot[]> slots_;
    ahead::ChangeLog log_;
    const std::uint64_t stick_;
    const int xcenter_, ycenter_, firstradius_;
    // What the threads share, each on a cache line of its own, apart from
    // what the calling thread alone writes.
    alignas(64) std::atomic<std::int64_t> committed_{0};
    alignas(64) std::atomic<std::int64_t> claimed_{0};
    alignas(64) std::atomic<int> radius_{0};
    std::atomic<bool> finish_{false};
    alignas(64) Gate gate_;
    alignas(64) bool committing_ = false;
    long polls_ = 0;
    ahead::Counts counts_;
    Result result_;
};

template <class Run, Rule ContactRule>
Result drive(const Options& o, const Hooks& hooks, GrowthState& s, HDC windowdc) {
    Driver<Run, ContactRule> driver(o, hooks, s, windowdc);
    return driver.run();
}

template <class Run>
Result growrun(const Options& o, const Hooks& hooks) {
    GrowthState& s = Run::OUTWARD ? centrifugalstate() : centripetalstate();
    HDC windowdc = GetDC(g_hWnd);
    firstloop = 0;
    terminate = 0;
    okdla = 1;
    cleartobackground(windowdc);
    growth::plantseed<Run>(s, windowdc);
    zorv::walk::syncmap(growth::canvasmap(), g_vhdc, bkgd, algorithm != 0);
    growth::syncring<Run>(s);
    Result r = algorithm == 0   ? drive<Run, zorv::walk::LANDING>(o, hooks, s, windowdc)
               : algorithm == 1 ? drive<Run, zorv::walk::NEIGHBOURS_BEFORE>(o, hooks, s, windowdc)
                                : drive<Run, zorv::walk::NEIGHBOURS_AFTER>(o, hooks, s, windowdc);
    okdla = 0;
    terminate = 1;
    if (r.end == End::COMPLETE) firstloop = 1;
    ReleaseDC(g_hWnd, windowdc);
    return r;
}

}  // namespace

Result growimage(const Options& options, const Hooks& hooks) {
    return ::growth == 0 ? growrun<growth::Centrifugal>(options, hooks) : growrun<growth::Centripetal>(options, hooks);
}

}  // namespace zorv::grow

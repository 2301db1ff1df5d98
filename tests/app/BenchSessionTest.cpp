// BenchSession against the model device, poll by poll, without a window or a thread: seeded
// random sequences of counts in every mode, lost replies, outages, device errors and blocks,
// lapses of control and a second client's control, the device's own keys and the operator's
// intents. After each sequence every count the device finished while the session followed it
// is written once with its final count, time and threshold, or reported lost once; nothing else
// is written; no series stalls. A failing sequence is shrunk before it is shown.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <map>
#include <optional>
#include <random>
#include <sstream>

#include "app/BenchSession.h"
#include "link/DeviceStatus.h"
#include "link/SharedControl.h"
#include "sim/DeviceModel.h"
#include "support/TempDir.h"

namespace pulsedesk::app {
namespace {

namespace frames = link::frames;
using pulsedesk::testing::TempDir;

enum class Op : std::uint8_t {
    Wait,  // arg polls without anything else
    Start,
    Stop,
    NewStudy,
    CloseStudy,
    Mode,
    CountTime,
    CountLimit,
    Repeat,
    KeyStart,
    KeyStop,
    LoseA,
    LoseB,
    LinkDown,  // arg polls
    Error,     // arg polls with the error number set
    Block,     // arg polls with the blocked bit
    Restart,   // the shared-port server restarts: control is forgotten, nobody else took it
    Other,     // another client holds control for arg polls, and starts or stops the device
};
constexpr const char* kOpNames[] = {"wait",  "start",  "stop",    "new-study", "close-study",
                                    "mode",  "time",   "limit",   "repeat",    "key-start",
                                    "key-stop", "lose-a", "lose-b", "link-down", "error",
                                    "block", "restart", "other"};
struct Step {
    Op op;
    int arg;
};

std::string Describe(const std::vector<Step>& steps) {
    std::ostringstream out;
    for (const Step& s : steps) out << kOpNames[static_cast<int>(s.op)] << ' ' << s.arg << "; ";
    return out.str();
}

// The shared-port server as the session's control sees it: who holds control, and who held it
// last since the server started.
struct ModelServer final : link::SharedControl {
    enum Holder { None, Us, Other } holder = None, last = None;
    bool lapsed = false;

    link::ControlAnswer TakeControl() override {
        if (holder == Other) return {link::ControlState::Refused, "pulsectl (process 7)"};
        const bool others = last == Other;
        holder = last = Us;
        return {link::ControlState::Held, {}, others};
    }
    void GiveBackControl() override {
        if (holder == Us) holder = None;
    }
    bool HeldSinceLastAsked() override { return !std::exchange(lapsed, false) && holder == Us; }
    std::string LastRefusal() override { return {}; }
    bool LastExchangeBusy() override { return false; }
    // Every exchange: a reply without the grant, or none, marks a lapse.
    void Exchanged(bool answered) {
        if (!answered || holder != Us) lapsed = true;
    }
};

struct Outcome {
    bool seen = false;     // a poll the session took showed it running while the study was open
    bool foreign = false;  // another client held control while it ran
    bool finished = false;
    bool owed = false;  // finished while the study that saw it was still open
    int written = 0;
    sim::FinishedCount end;
};

// A loss told to the operator: about one of the counts from the latest the session had seen
// before the poll that told it, to the device's count at that moment.
struct Loss {
    int from;
    int to;
    std::string text;
};

// The device, the line and the server around one session, and what became of every count.
class Bench final : public link::CommandChannel {
  public:
    Bench(bool shared, std::uint32_t seed)
        : model({}, 120.0, seed, [this] { return ms; }), sharedPort(shared) {
        model.OnFinish([this](const sim::FinishedCount& end) { Finished(end); });
        for (const char* name : {"pulsedesk.cfg", "pulsedesk.msg"})
            std::filesystem::copy_file(
                std::filesystem::path(PULSEDESK_SOURCE_DIR) / "config/defaults" / name,
                dir.File(name));
        messages = std::make_unique<config::MessageFile>(dir.File("pulsedesk"));
        settings = std::make_unique<config::ConfigFile>(dir.File("pulsedesk"));
        session = std::make_unique<BenchSession>(
            SessionEnvironment{this, shared ? &server : nullptr, *settings, *messages,
                               dir.Path() + "/", TickClock{[this] { return ms; }, 1000},
                               [] { return reports::LocalTime{2026, 12, 7, 10, 30, 0}; }},
            [this](const SessionEvent& e) { Told(e); });
        PollFor(2);
    }

    link::CommandReply SendCommand(const frames::Frame& frame) override {
        server.Exchanged(downPolls == 0);
        if (downPolls > 0) return {};
        const int before = current;
        const sim::Response r = model.Handle(frame.Data(), frame.Length());
        Observe();
        // A count the session started itself is followed from its start.
        if (current != before && session->StudyOpen()) Current().seen = true;
        link::CommandReply reply;
        reply.replyLength = static_cast<int>(r.reply.size());
        std::copy(r.reply.begin(), r.reply.end(), reply.replyBuffer.begin());
        reply.accepted = !r.reply.empty() && (r.reply[0] & 0x0F) + 1u == r.reply.size();
        return reply;
    }
    bool PollNow() override { return Poll(false); }
    bool IsConnected() const override { return connected; }

    void Run(const Step& step);
    // Quiet polls after the sequence: what is left of a series runs to its end.
    std::optional<std::string> Settle();
    std::optional<std::string> Verdict() const;

  private:
    // The link's thread: the session is told, then the link's state follows the poll.
    bool Poll(bool background);
    void Exchange(std::uint8_t code, bool lose, int& length, link::FrameBuffer& buffer);
    void Observe();
    void Finished(const sim::FinishedCount& end);
    void Told(const SessionEvent& e);
    void PollFor(int polls);
    Outcome& Current() { return outcomes[current]; }
    bool Allowed(bool Enabling::*what) const {
        return EnablingFor(session->View().facts).*what;
    }

    std::int64_t ms = 1000;
    sim::DeviceModel model;
    ModelServer server;
    bool sharedPort;
    // Hundreds of sequences write thousands of reports, each synced: on a disk shared with other
    // tests the syncs alone can take minutes, and what is tested here is which counts are written.
    TempDir dir{std::filesystem::is_directory("/dev/shm") ? "/dev/shm"
                                                           : std::filesystem::temp_directory_path()};
    std::unique_ptr<config::MessageFile> messages;
    std::unique_ptr<config::ConfigFile> settings;
    std::unique_ptr<BenchSession> session;
    link::DeviceStatus status;
    bool connected = true;
    int downPolls = 0, errorPolls = 0, blockPolls = 0, otherPolls = 0;
    bool loseA = false, loseB = false;
    bool wasCounting = false;
    std::int64_t lastElapsed = 0;
    int current = 0;  // the model's latest count
    int lastSeen = -1, seenBeforePoll = -1;
    std::map<int, Outcome> outcomes;
    std::vector<Loss> losses;
    std::vector<std::string> problems;
};

void Bench::Exchange(std::uint8_t code, bool lose, int& length, link::FrameBuffer& buffer) {
    server.Exchanged(downPolls == 0 && !lose);
    length = -1;
    if (downPolls > 0) return;
    const std::uint8_t request[] = {0x01, code};
    const sim::Response r = model.Handle(request, 2);
    Observe();
    if (lose) return;
    length = static_cast<int>(r.reply.size());
    std::copy(r.reply.begin(), r.reply.end(), buffer.begin());
}

bool Bench::Poll(bool background) {
    link::FrameBuffer a{}, b{};
    int na = 0, nb = 0;
    Exchange(link::ReadStatusA, loseA, na, a);
    const bool ok = link::TakeReplyA(status, a.data(), na);
    if (ok) {
        Exchange(link::ReadStatusB, loseB, nb, b);
        link::TakeReplyB(status, b.data(), nb);
    }
    loseA = loseB = false;
    seenBeforePoll = lastSeen;
    if (ok && session->StudyOpen() && model.Counting()) {
        Current().seen = true;
        lastSeen = current;
    }
    session->OnPoll(status, connected, ms);
    if (background) connected = ok;
    return ok;
}

// A new count is one running after none ran, or one whose time went back.
void Bench::Observe() {
    const bool counting = model.Counting();
    if (counting && (!wasCounting || model.ElapsedHundredths() < lastElapsed)) ++current;
    if (counting && otherPolls > 0) Current().foreign = true;
    wasCounting = counting;
    lastElapsed = model.ElapsedHundredths();
}

void Bench::Finished(const sim::FinishedCount& end) {
    Outcome& o = Current();
    o.finished = true;
    o.end = end;
    o.owed = o.seen && session->StudyOpen();
    if (otherPolls > 0) o.foreign = true;
}

void Bench::Told(const SessionEvent& e) {
    if (e.kind == SessionEventKind::StoreError) {
        problems.push_back("store error: " + e.text);
        return;
    }
    if (e.kind == SessionEventKind::MeasurementWritten) {
        // The line is one of the finished counts not yet written whose final values it holds:
        // the latest the session saw, else the latest (two counts may end alike).
        const auto& s = session->LastStatus();
        Outcome* line = nullptr;
        for (auto& [id, o] : outcomes) {
            const bool same = o.finished && o.written == 0 && o.end.count == s.count &&
                              o.end.elapsedHundredths == s.ElapsedHundredths() &&
                              o.end.thresholdCode == s.ThresholdCode();
            if (same && (!line || o.seen || !line->seen)) line = &o;
        }
        if (line)
            ++line->written;
        else
            problems.push_back("a line of " + std::to_string(s.count) + " in " +
                               std::to_string(s.ElapsedHundredths()) +
                               " hundredths, which no count that finished unwritten ended with");
        return;
    }
    losses.push_back({std::max(seenBeforePoll, 0), current, e.text});
}

void Bench::PollFor(int polls) {
    for (int i = 0; i < polls; ++i) {
        const bool down = downPolls > 0;
        ms += down ? 250 : 50;
        model.faults().errorCode = errorPolls > 0 ? 5 : 0;
        model.faults().blocked = blockPolls > 0;
        Poll(true);
        for (int* left : {&downPolls, &errorPolls, &blockPolls}) *left = std::max(0, *left - 1);
        if (otherPolls > 0 && --otherPolls == 0) server.holder = ModelServer::None;
    }
}

void Bench::Run(const Step& step) {
    const auto other = [&](const frames::Frame& frame) {
        if (downPolls == 0) model.Handle(frame.Data(), frame.Length());
        Observe();
    };
    switch (step.op) {
        case Op::Wait: PollFor(step.arg); return;
        case Op::Start: if (Allowed(&Enabling::start)) session->Start(); break;
        case Op::Stop: if (Allowed(&Enabling::stop)) session->Stop(); break;
        case Op::NewStudy:
            if (Allowed(&Enabling::startStudy) && session->PrepareStudy()) session->OpenStudy("x");
            break;
        case Op::CloseStudy: if (Allowed(&Enabling::newRecord)) session->NewRecord(); break;
        case Op::Mode:
            if (Allowed(&Enabling::modeButtons))
                session->SelectMode(static_cast<std::uint8_t>(step.arg % 4), status);
            break;
        case Op::CountTime:
            if (Allowed(&Enabling::countTime))
                session->Send(frames::SetCountTimeFrame({0, 0, 1 + step.arg % 3}));
            break;
        case Op::CountLimit:
            if (Allowed(&Enabling::countLimit))
                session->SetCountLimit(50 + 40u * static_cast<unsigned>(step.arg % 8), status);
            break;
        case Op::Repeat: if (Allowed(&Enabling::repeat)) session->ConfigureRepeat(1 + step.arg % 4); break;
        case Op::KeyStart:
            // A count restarted within a second shows the same time and count as the one it
            // replaced: no status tells them apart.
            if (model.Counting() && model.ElapsedHundredths() < 100) break;
            model.PressKey(true);
            Observe();
            break;
        case Op::KeyStop: model.PressKey(false); Observe(); break;
        case Op::LoseA: loseA = true; break;
        case Op::LoseB: loseB = true; break;
        case Op::LinkDown: downPolls = step.arg; break;
        case Op::Error: errorPolls = step.arg; break;
        case Op::Block: blockPolls = step.arg; break;
        case Op::Restart:
            if (!sharedPort) break;
            server.holder = server.last = ModelServer::None;
            server.lapsed = true;
            otherPolls = 0;  // a grant ends with the server
            break;
        case Op::Other:
            if (!sharedPort || (server.holder == ModelServer::Us && session->StudyOpen())) break;
            server.holder = server.last = ModelServer::Other;
            otherPolls = step.arg;
            other(frames::StartStopFrame(step.arg % 2 == 0));
            break;
    }
    PollFor(1);
}

std::optional<std::string> Bench::Settle() {
    errorPolls = blockPolls = downPolls = otherPolls = 0;
    server.holder = server.holder == ModelServer::Other ? ModelServer::None : server.holder;
    int stuck = 0;
    for (int i = 0; i < 20 * 40; ++i) {  // 40 s: a series of 4 counts of 3 s or 450 pulses
        PollFor(1);
        const RunState state = session->State();
        const bool waiting = state == RunState::Starting || state == RunState::RepeatWait ||
                             (state == RunState::Counting && !model.Counting());
        stuck = waiting ? stuck + 1 : 0;
        if (stuck > 60) return "the series stalls in state " + std::to_string(int(state));
    }
    return std::nullopt;
}

// Which count each loss was about is not told: the losses are matched to the counts they may
// be about (seen, never written), each count at most once. Every finished count that was not
// written must have a loss, and every loss a count. Augmenting paths keep every vertex they
// matched, so the owed counts matched first stay matched while the losses are added.
std::optional<std::string> Bench::Verdict() const {
    if (!problems.empty()) return problems.front();
    for (const auto& [id, o] : outcomes) {
        const std::string count = "count " + std::to_string(id);
        if (o.written > 1) return count + " written " + std::to_string(o.written) + " times";
        if (o.written > 0 && o.foreign) return count + ", another client's, was written";
    }
    const auto may = [&](std::size_t loss, int id) {
        const Outcome& o = outcomes.at(id);
        return losses[loss].from <= id && id <= losses[loss].to && o.seen && o.written == 0;
    };
    std::map<int, std::size_t> lossOf;            // count → loss
    std::vector<int> countOf(losses.size(), -1);  // loss → count
    std::function<bool(int, std::vector<bool>&)> fromCount = [&](int id, std::vector<bool>& seen) {
        for (std::size_t loss = 0; loss < losses.size(); ++loss) {
            if (seen[loss] || !may(loss, id)) continue;
            seen[loss] = true;
            if (countOf[loss] < 0 || fromCount(countOf[loss], seen)) {
                countOf[loss] = id;
                lossOf[id] = loss;
                return true;
            }
        }
        return false;
    };
    std::function<bool(std::size_t, std::set<int>&)> fromLoss = [&](std::size_t loss,
                                                                     std::set<int>& seen) {
        for (const auto& [id, o] : outcomes) {
            if (seen.count(id) || !may(loss, id)) continue;
            seen.insert(id);
            const auto taken = lossOf.find(id);
            if (taken == lossOf.end() || fromLoss(taken->second, seen)) {
                lossOf[id] = loss;
                countOf[loss] = id;
                return true;
            }
        }
        return false;
    };
    for (const auto& [id, o] : outcomes) {
        std::vector<bool> seen(losses.size(), false);
        if (o.owed && o.written == 0 && !fromCount(id, seen))
            return "count " + std::to_string(id) + " finished and was lost silently";
    }
    for (std::size_t loss = 0; loss < losses.size(); ++loss) {
        std::set<int> seen;
        if (countOf[loss] < 0 && !fromLoss(loss, seen))
            return "a loss told of no count it may be about: " + losses[loss].text;
    }
    return std::nullopt;
}

std::vector<Step> RandomSequence(std::mt19937& random, int length) {
    // Waits and starts most often, so that counts run and end between the faults.
    const std::pair<Op, int> weights[] = {
        {Op::Wait, 30},   {Op::Start, 8},     {Op::Stop, 2},      {Op::NewStudy, 2},
        {Op::CloseStudy, 1}, {Op::Mode, 3},   {Op::CountTime, 2}, {Op::CountLimit, 2},
        {Op::Repeat, 2},  {Op::KeyStart, 2},  {Op::KeyStop, 1},   {Op::LoseA, 3},
        {Op::LoseB, 3},   {Op::LinkDown, 2},  {Op::Error, 2},     {Op::Block, 1},
        {Op::Restart, 2}, {Op::Other, 1}};
    std::vector<int> table;
    for (const auto& [op, weight] : weights) table.insert(table.end(), weight, int(op));
    std::uniform_int_distribution<std::size_t> pick(0, table.size() - 1);
    std::uniform_int_distribution<int> arg(1, 40);
    std::vector<Step> steps{{Op::NewStudy, 0}, {Op::Mode, 1}, {Op::CountTime, 1}};
    while (static_cast<int>(steps.size()) < length)
        steps.push_back({static_cast<Op>(table[pick(random)]), arg(random)});
    return steps;
}

std::optional<std::string> RunSequence(const std::vector<Step>& steps, bool shared) {
    Bench bench(shared, 7);
    for (const Step& s : steps) bench.Run(s);
    if (auto stall = bench.Settle()) return stall;
    return bench.Verdict();
}

// Drops ever smaller chunks while the sequence still fails.
std::vector<Step> Shrink(std::vector<Step> steps, bool shared) {
    for (std::size_t chunk = steps.size() / 2; chunk >= 1; chunk /= 2) {
        for (std::size_t at = 0; at + chunk <= steps.size();) {
            std::vector<Step> shorter = steps;
            shorter.erase(shorter.begin() + at, shorter.begin() + at + chunk);
            if (RunSequence(shorter, shared))
                steps = std::move(shorter);
            else
                at += chunk;
        }
    }
    return steps;
}

int SequencesToRun() {
    const char* given = std::getenv("PULSEDESK_SESSION_SEQUENCES");
    return given ? std::atoi(given) : 400;
}

TEST(BenchSessionProperty, EveryFinishedCountIsWrittenOnceOrReportedLostOnce) {
    std::mt19937 random(20261208);
    for (int n = 0; n < SequencesToRun(); ++n) {
        const bool shared = n % 2 == 1;
        const std::vector<Step> steps = RandomSequence(random, 150);
        if (const auto failure = RunSequence(steps, shared)) {
            const std::vector<Step> small = Shrink(steps, shared);
            FAIL() << "sequence " << n << (shared ? " (shared port)" : " (alone)") << ": "
                   << *RunSequence(small, shared) << "\n  shrunk to: " << Describe(small);
        }
    }
}

}  // namespace
}  // namespace pulsedesk::app

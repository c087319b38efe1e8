#include "tools/scanner-sim/scanner_engine.h"

#include <algorithm>

namespace scanner_sim {

std::string_view engineStateName(EngineState state) {
    switch (state) {
    case EngineState::Ready:
        return "Ready";
    case EngineState::Loading:
        return "Loading";
    }
    return "?";
}

std::string_view loadTargetKey(LoadTarget target) {
    switch (target) {
    case LoadTarget::Boot:
        return "BTCODE";
    case LoadTarget::App1:
        return "A1CODE";
    case LoadTarget::App2:
        return "A2CODE";
    }
    return "?";
}

std::string garbleAnswer(std::string_view answer) {
    std::string out(answer);
    size_t end = out.size();
    if (end >= 2 && out[end - 2] == '\r' && out[end - 1] == '\n')
        end -= 2;
    for (size_t i = 1; i < end; i += 3)
        out[i] = out[i] == '#' ? '*' : '#';
    return out;
}

ScannerEngine::ScannerEngine(EngineHooks hooks, size_t maxFramePayload)
    : hooks_(std::move(hooks)), parser_(maxFramePayload), line_(setup_.line()) {}

void ScannerEngine::emitNote(std::string_view text) {
    if (hooks_.note)
        hooks_.note(text);
}

void ScannerEngine::sendGarbage(size_t count) {
    std::string junk;
    for (size_t i = 0; i < count; ++i) {
        garbageSeed_ = garbageSeed_ * 1103515245u + 12345u;
        junk += static_cast<char>(0x80 | ((garbageSeed_ >> 16) & 0x7F));
    }
    if (!junk.empty())
        hooks_.send(junk, line_);
}

void ScannerEngine::receive(std::string_view bytes, uint32_t pcBaud, TimePoint now) {
    tick(now);
    if (bytes.empty())
        return;
    if (state_ == EngineState::Loading) {
        emitNote("dropped " + std::to_string(bytes.size()) + " bytes during the image load");
        return;
    }
    if (pcBaud != 0 && pcBaud != line_.baud) {
        // At the wrong rate the UART delivers framing errors, never a clean frame.
        parser_.reset();
        emitNote("dropped " + std::to_string(bytes.size()) + " bytes: PC at " +
                 std::to_string(pcBaud) + " baud, scanner at " + std::to_string(line_.baud));
        if (mismatch_ == MismatchMode::Garbage)
            sendGarbage(bytes.size() / 2 + 1);
        return;
    }
    parser_.feed(bytes, [&](const FrameEvent& event) {
        switch (event.kind) {
        case FrameEventKind::Frame: {
            std::string frame;
            frame += kSoh;
            frame += event.bytes;
            frame += kEot;
            if (hooks_.frameReceived)
                hooks_.frameReceived(frame);
            handleFrame(event.bytes, now);
            break;
        }
        case FrameEventKind::Oversize: {
            std::string frame;
            frame += kSoh;
            frame += event.bytes;
            frame += "...";
            frame += kEot;
            if (hooks_.frameReceived)
                hooks_.frameReceived(frame);
            ++framesHandled_;
            if (faults_.ignoreFrames > 0) {
                --faults_.ignoreFrames;
                return;
            }
            Outcome refused;
            refused.reason = "frame longer than the scanner's buffer";
            reply(refused, now);
            break;
        }
        case FrameEventKind::Restarted:
            emitNote("a new SOH dropped a partial frame of " + std::to_string(event.bytes.size()) +
                     " bytes");
            break;
        case FrameEventKind::Stray:
            break;
        }
    });
}

void ScannerEngine::handleFrame(std::string_view payload, TimePoint now) {
    ++framesHandled_;
    if (state_ == EngineState::Loading)
        return;
    if (faults_.ignoreFrames > 0) {
        --faults_.ignoreFrames;
        emitNote("fault: frame ignored");
        return;
    }
    if (faults_.nakFrames > 0) {
        --faults_.nakFrames;
        Outcome refused;
        refused.reason = "fault: NAK";
        reply(refused, now);
        return;
    }
    TokenList list = parseTokens(payload);
    Outcome outcome;
    if (!list.ok())
        outcome.reason = list.error;
    else
        outcome = execute(list);
    reply(outcome, now);
}

ScannerEngine::Outcome ScannerEngine::executeQuery(const Token& token) {
    Outcome out;
    if (token.key == "SETPAR") {
        out.ack = true;
        out.answer = setup_.recordList() + std::string(kLineEnd);
        return out;
    }
    if (token.key == "TXPING") {
        // The ping is answered by the ACK alone: the program waits for nothing more.
        out.ack = true;
        return out;
    }
    if ((token.key == "SERIAL" || token.key == "REGKEY") && !hasSerialAndKey(identity_)) {
        out.reason = token.key + " needs application-1 revision 3.22 or later";
        return out;
    }
    if (auto answer = identityAnswer(identity_, token.key)) {
        out.ack = true;
        out.answer = *answer;
        return out;
    }
    if (findSetupKey(token.key)) {
        out.ack = true;
        out.answer = setup_.record(token.key) + std::string(kLineEnd);
        return out;
    }
    out.reason = "unknown query " + token.key;
    return out;
}

ScannerEngine::Outcome ScannerEngine::execute(const TokenList& list) {
    Outcome out;
    const auto& tokens = list.tokens;
    const bool anyQuery =
        std::any_of(tokens.begin(), tokens.end(), [](const Token& t) { return t.query; });
    if (anyQuery) {
        if (tokens.size() != 1) {
            out.reason = "a query must be alone in its frame";
            return out;
        }
        return executeQuery(tokens.front());
    }
    for (const Token& t : tokens) {
        std::optional<LoadTarget> target;
        if (t.key == "A1CODE")
            target = LoadTarget::App1;
        else if (t.key == "A2CODE")
            target = LoadTarget::App2;
        else if (t.key == "BTCODE")
            target = LoadTarget::Boot;
        if (!target)
            continue;
        if (tokens.size() != 1) {
            out.reason = "a load token must be alone in its frame";
            return out;
        }
        if (t.value != "Z") {
            out.reason = t.key + " knows only the value Z";
            return out;
        }
        if (hooks_.loadCheck) {
            std::string refusal = hooks_.loadCheck(*target);
            if (!refusal.empty()) {
                out.reason = refusal;
                return out;
            }
        } else {
            out.reason = "image load not available";
            return out;
        }
        out.ack = true;
        out.load = target;
        return out;
    }
    // Writes: all or nothing, so a refused setup command leaves the scanner as it was.
    SetupModel setup = setup_;
    Identity identity = identity_;
    for (const Token& t : tokens) {
        std::string error;
        if (t.key == "FACDEF") {
            if (t.value != "1") {
                out.reason = "FACDEF knows only the value 1";
                return out;
            }
            setup.restoreFactory();
        } else if (t.key == "REGKEY") {
            if (!hasSerialAndKey(identity)) {
                out.reason = "REGKEY needs application-1 revision 3.22 or later";
                return out;
            }
            if (!checkRegistrationKey(t.value, error)) {
                out.reason = error;
                return out;
            }
            identity.registrationKey = t.value;
        } else if (findSetupKey(t.key)) {
            if (!setup.set(t.key, t.value, error)) {
                out.reason = error;
                return out;
            }
        } else {
            out.reason = "unknown key " + t.key;
            return out;
        }
    }
    setup_ = std::move(setup);
    identity_ = std::move(identity);
    out.ack = true;
    if (setup_.line() != line_)
        out.switchTo = setup_.line();
    return out;
}

void ScannerEngine::reply(const Outcome& outcome, TimePoint now) {
    if (!outcome.ack)
        emitNote("NAK: " + outcome.reason);
    std::string head;
    if (faults_.strayFrames > 0) {
        --faults_.strayFrames;
        head = faults_.strayBytes;
    }
    head += outcome.ack ? kAck : kNak;
    const TimePoint ackDue = now + std::chrono::milliseconds(faults_.ackDelayMs);
    Pending ack{ackDue, std::move(head), {}, {}};
    if (outcome.load) {
        // Nothing else is read until the transfer ends.
        state_ = EngineState::Loading;
        loadTarget_ = outcome.load;
        parser_.reset();
        ack.startLoad = outcome.load;
    }
    std::string answer = outcome.answer;
    if (!answer.empty() && faults_.withholdAnswers > 0) {
        --faults_.withholdAnswers;
        emitNote("fault: answer withheld");
        answer.clear();
    }
    if (!answer.empty() && faults_.garbleAnswers > 0) {
        --faults_.garbleAnswers;
        answer = garbleAnswer(answer);
    }
    if (answer.empty()) {
        ack.switchTo = outcome.switchTo;
        enqueue(std::move(ack));
    } else {
        enqueue(std::move(ack));
        enqueue(Pending{ackDue + std::chrono::milliseconds(faults_.answerDelayMs),
                        std::move(answer),
                        outcome.switchTo,
                        {}});
    }
    tick(now);
}

void ScannerEngine::enqueue(Pending pending) {
    // Output leaves in order: nothing overtakes what was queued before it.
    if (!queue_.empty() && pending.due < queue_.back().due)
        pending.due = queue_.back().due;
    queue_.push_back(std::move(pending));
}

void ScannerEngine::tick(TimePoint now) {
    while (!queue_.empty() && queue_.front().due <= now) {
        Pending p = std::move(queue_.front());
        queue_.pop_front();
        hooks_.send(p.bytes, line_);
        if (p.switchTo && *p.switchTo != line_) {
            line_ = *p.switchTo;
            emitNote("line now " + line_.toString());
            if (hooks_.lineChanged)
                hooks_.lineChanged(line_);
        }
        if (p.startLoad && hooks_.loadStart)
            hooks_.loadStart(*p.startLoad);
    }
}

std::optional<TimePoint> ScannerEngine::nextDeadline() const {
    if (queue_.empty())
        return std::nullopt;
    return queue_.front().due;
}

void ScannerEngine::finishLoad(std::optional<std::string> version) {
    if (state_ != EngineState::Loading)
        return;
    if (version && !version->empty() && loadTarget_) {
        std::string* field = *loadTarget_ == LoadTarget::App1   ? &identity_.app1Revision
                             : *loadTarget_ == LoadTarget::App2 ? &identity_.app2Revision
                                                                : &identity_.bootRevision;
        *field = *version;
        emitNote(std::string(loadTargetKey(*loadTarget_)) + " revision now " + *version);
    }
    state_ = EngineState::Ready;
    loadTarget_.reset();
    parser_.reset();
}

bool ScannerEngine::setSetupValue(std::string_view key, std::string_view value,
                                  std::string& error) {
    if (!setup_.set(key, value, error))
        return false;
    if (setup_.line() != line_) {
        line_ = setup_.line();
        emitNote("line now " + line_.toString());
        if (hooks_.lineChanged)
            hooks_.lineChanged(line_);
    }
    return true;
}

void ScannerEngine::setLine(const LineSettings& line) {
    std::string error;
    setup_.set("RSBAUD", std::to_string(line.baud), error);
    setup_.set("RSPRTY", line.parity == 'O' ? "ODD" : line.parity == 'E' ? "EVEN" : "NONE", error);
    setup_.set("RSBITS", std::to_string(line.dataBits), error);
    setup_.set("RSSTOP", std::to_string(line.stopBits), error);
    if (setup_.line() != line_) {
        line_ = setup_.line();
        if (hooks_.lineChanged)
            hooks_.lineChanged(line_);
    }
}

} // namespace scanner_sim

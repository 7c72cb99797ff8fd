#pragma once
// What became of a wait, a network step or a whole operation. Callers branch
// on it; nothing is inferred from a shared flag.
namespace vn {

enum class Outcome {
    Done,       // the event arrived / the step succeeded
    Aborted,    // the user's Abort (or the window closing)
    TimedOut,   // the step's time-out expired
    PeerClosed, // the peer ended the connection
    Failed      // anything else: refused, a socket error, bad input
};

inline const char* describe(Outcome o) {
    switch (o) {
    case Outcome::Done: return "done";
    case Outcome::Aborted: return "aborted";
    case Outcome::TimedOut: return "timed out";
    case Outcome::PeerClosed: return "peer closed";
    case Outcome::Failed: return "failed";
    }
    return "failed";
}

} // namespace vn

// How the plug-in stays right while the host runs a message loop of its own
// inside one of the plug-in's calls. The rule is written here once; the link
// (PandrelWin) and the handlers follow it.
//
// - Every handler acts on every report exactly once, in the order the reports
//   came, whatever the host does in between.
// - A call that does something (DoButton, Code, SetDRO) may deliver the
//   plug-in's timer messages and device changes before it returns. They act
//   at once: a timer message finishes the report being acted on with the
//   handlers that have not yet seen it, then acts on every newer report, or
//   with none again on the last one, as any poll cycle does. The interrupted
//   poll then ends where it is, but for the calling handler's own remaining calls.
// - So each handler changes its state before it calls the host and, after
//   the call, goes on only with what is still due: it takes a ticket from a
//   Generation that any newer decision advances, and checks it after the call.
// - A question (GetLED, GetDRO) is one moment: nothing acts inside it. What
//   comes meanwhile waits until the handler that asked has made its remaining
//   calls, so every answer a handler uses is current.
// - StopPlug ends the jogs that run, then the link calls the host no more.
#pragma once

namespace quenta {

class Generation {
 public:
  class Ticket {
   public:
    bool operator==(const Ticket& other) const { return value_ == other.value_; }

   private:
    friend class Generation;
    explicit Ticket(unsigned value) : value_(value) {}
    unsigned value_;
  };

  // A new decision: every ticket taken before is no longer current.
  Ticket Next() { return Ticket(++value_); }
  bool Current(const Ticket& ticket) const { return ticket.value_ == value_; }

 private:
  unsigned value_ = 0;
};

}  // namespace quenta

// Owns the pendant link and the site it runs on. A link is retired by
// StopPlug or a second InitControl, possibly from inside one of its own
// messages (a host call that pumps): it is stopped at once and freed only
// when no message or export runs any more. Every message a site delivers
// and every export that reaches a link runs inside an Entry.
#pragma once

#include <memory>
#include <vector>

#include "device/link_site.h"
#include "device/pendant_link.h"

namespace quenta {

class LinkKeeper {
 public:
  class Entry {
   public:
    explicit Entry(LinkKeeper& keeper) : keeper_(keeper) { ++keeper_.entries_; }
    ~Entry() {
      if (--keeper_.entries_ == 0) keeper_.FreeRetired();
    }
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

   private:
    LinkKeeper& keeper_;
  };

  LinkKeeper() = default;
  ~LinkKeeper();
  LinkKeeper(const LinkKeeper&) = delete;
  LinkKeeper& operator=(const LinkKeeper&) = delete;

  // The link and its site become the current ones; a link current before is retired.
  void Install(std::unique_ptr<LinkSite> site, std::unique_ptr<PandrelWin> link);
  // Stops the current link (its running jogs end) and lets it go.
  void Retire();
  PandrelWin* Current() { return current_ ? current_->link.get() : nullptr; }

 private:
  struct Held {
    std::unique_ptr<LinkSite> site;
    std::unique_ptr<PandrelWin> link;  // after the site: it goes first
  };
  void FreeRetired();

  std::unique_ptr<Held> current_;
  std::vector<std::unique_ptr<Held>> retired_;
  int entries_ = 0;
};

}  // namespace quenta

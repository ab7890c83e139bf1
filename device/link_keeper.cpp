#include "device/link_keeper.h"

namespace quenta {

LinkKeeper::~LinkKeeper() {
  Retire();
  retired_.clear();
}

void LinkKeeper::Install(std::unique_ptr<LinkSite> site, std::unique_ptr<PandrelWin> link) {
  const Entry entry(*this);
  Retire();
  current_ = std::make_unique<Held>(Held{std::move(site), std::move(link)});
}

void LinkKeeper::Retire() {
  if (!current_) return;
  const Entry entry(*this);
  std::unique_ptr<Held> retiring = std::move(current_);
  if (retiring->link) retiring->link->Stop();
  retired_.push_back(std::move(retiring));
}

void LinkKeeper::FreeRetired() {
  // Freeing a site may deliver messages of its own (a window being destroyed): they find nothing retired twice.
  std::vector<std::unique_ptr<Held>> freeing;
  freeing.swap(retired_);
}

}  // namespace quenta

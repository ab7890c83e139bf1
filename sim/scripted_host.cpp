#include "sim/scripted_host.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace quenta::sim {

namespace {

ScriptedHost* current = nullptr;

// Big enough for the status-line object and a little beyond, like the host's own block.
constexpr std::size_t kHostBlock3Size = kStatusLineOffset + sizeof(FrameworkString) + 64;

void ReleaseHeld(StringData* data) {
  if (data != nullptr && data->refs >= 0 && --data->refs <= 0) data->manager->Free(data);
}

}  // namespace

ScriptedHost::ScriptedHost() : block3_(new unsigned char[kHostBlock3Size]()) {
  SetStatusLine(manager_.Make(""));
  ShareStatus();
  // The status buffer is always shared, so every assignment of the plug-in
  // allocates, and each one is seen even when the text repeats.
  manager_.onAllocate = [this] { FlushStatus(); statusPending_ = true; };
}

ScriptedHost::~ScriptedHost() {
  manager_.onAllocate = nullptr;
  if (current == this) current = nullptr;
  const FrameworkString status = StatusLine();
  if (status.chars != nullptr) ReleaseHeld(StringData::FromChars(status.chars));
  SetStatusLine(FrameworkString{nullptr});
  ReleaseHeld(heldStatus_);
}

void ScriptedHost::MakeCurrent() { current = this; }

void ScriptedHost::Reset() {
  FlushStatus();
  leds_.clear();
  dros_.clear();
  calls_.clear();
  pumping_ = false;
  timerMessage_ = nullptr;
  callHook_ = nullptr;
  observer_ = nullptr;
}
ScriptedHost* ScriptedHost::Current() { return current; }

HostCallbacks ScriptedHost::Callbacks() {
  HostCallbacks callbacks;
  callbacks.DoButton = &ScriptedHost::DoButton;
  callbacks.SetDRO = &ScriptedHost::SetDRO;
  callbacks.GetDRO = &ScriptedHost::GetDRO;
  callbacks.GetLED = &ScriptedHost::GetLED;
  callbacks.SetLED = &ScriptedHost::SetLED;
  callbacks.Code = &ScriptedHost::Code;
  return callbacks;
}

// The offset is only 4-aligned, as in the host's 32-bit block: copy, never bind.
FrameworkString ScriptedHost::StatusLine() const {
  FrameworkString status;
  std::memcpy(&status, block3_.get() + kStatusLineOffset, sizeof status);
  return status;
}

void ScriptedHost::SetStatusLine(FrameworkString status) {
  std::memcpy(block3_.get() + kStatusLineOffset, &status, sizeof status);
}

std::string ScriptedHost::StatusText() const {
  const FrameworkString status = StatusLine();
  if (status.chars == nullptr) return {};
  const StringData* data = StringData::FromChars(status.chars);
  return std::string(status.chars, static_cast<std::size_t>(std::max(data->dataLength, 0)));
}

void ScriptedHost::ShareStatus() {
  const FrameworkString status = StatusLine();
  StringData* now = status.chars == nullptr ? nullptr : StringData::FromChars(status.chars);
  if (now == heldStatus_) return;
  ReleaseHeld(heldStatus_);
  heldStatus_ = now;
  if (now != nullptr && now->refs >= 0) ++now->refs;
}

void ScriptedHost::FlushStatus() {
  if (!statusPending_) return;
  statusPending_ = false;
  Record(HostCall::Status(StatusText()));
  ShareStatus();
}

void ScriptedHost::Record(HostCall call) {
  if (observer_) Notify(FormatCall(call), false);
  calls_.push_back(std::move(call));
}

void ScriptedHost::Notify(const std::string& line, bool isRead) {
  if (observer_) observer_(line, isRead);
}

void ScriptedHost::RecordMessage(const std::string& text) {
  FlushStatus();
  Record(HostCall::Message(text));
}

std::vector<HostCall> ScriptedHost::TakeCalls() {
  FlushStatus();
  std::vector<HostCall> taken;
  taken.swap(calls_);
  return taken;
}

void ScriptedHost::Called(HostCallKind kind, int number) {
  if (callHook_) callHook_(kind, number);
}

void ScriptedHost::DoButton(short code) {
  if (current == nullptr) return;
  current->FlushStatus();
  current->Record(HostCall::DoButton(code));
  current->Called(HostCallKind::DoButton, code);
  // A plug-in whose poll re-enters would pump again from inside; the bound
  // turns that into wrong calls for the expectations instead of a stack overflow.
  constexpr int kMaxPumpDepth = 8;
  if (current->pumping_ && current->timerMessage_ && current->pumpDepth_ < kMaxPumpDepth) {
    ++current->pumpDepth_;
    current->timerMessage_();
    --current->pumpDepth_;
  }
}

void ScriptedHost::SetDRO(int code, double value) {
  if (current == nullptr) return;
  current->FlushStatus();
  current->dros_[code] = value;
  current->Record(HostCall::SetDRO(code, value));
  current->Called(HostCallKind::SetDRO, code);
}

double ScriptedHost::GetDRO(int code) {
  if (current == nullptr) return 0;
  current->FlushStatus();
  const auto found = current->dros_.find(code);
  const double value = found == current->dros_.end() ? 0.0 : found->second;
  if (current->observer_) current->Notify("GetDRO " + std::to_string(code) + " -> " + FormatDouble(value), true);
  current->Called(HostCallKind::GetDRO, code);
  return value;
}

bool ScriptedHost::GetLED(int code) {
  if (current == nullptr) return false;
  current->FlushStatus();
  const auto found = current->leds_.find(code);
  const bool lit = found != current->leds_.end() && found->second;
  if (current->observer_) current->Notify("GetLED " + std::to_string(code) + " -> " + (lit ? "on" : "off"), true);
  current->Called(HostCallKind::GetLED, code);
  return lit;
}

void ScriptedHost::SetLED(int code, bool lit) {
  // Not part of what the plug-in may do; shown in a trace, never recorded.
  if (current != nullptr) current->Notify("SetLED " + std::to_string(code) + (lit ? " on" : " off"), false);
}

void ScriptedHost::Code(const char* text) {
  if (current == nullptr) return;
  current->FlushStatus();
  current->Record(HostCall::Code(text == nullptr ? "" : text));
  current->Called(HostCallKind::Code, 0);
}

}  // namespace quenta::sim

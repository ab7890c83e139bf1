// The host boundary as only the shipped 32-bit DLL meets it: thiscall calls
// into the host's string manager, the status line at its offset in a 32-bit
// HostBlock3, and doubles returned by the host on the x87 stack.
#include <cstring>

#include "sim/profile_file.h"
#include "tests/wine/wine_test_fixture.h"

namespace quenta::wine {
namespace {

static_assert(sizeof(void*) == 4, "this file checks the 32-bit boundary");
static_assert(sizeof(StringData) == 16, "the framework string header of a 32-bit host");

constexpr int kShiftBit = 8;
constexpr int kFunctionKey2Bit = 17;
constexpr char kMacroStatus[] = " Custom Macro #1 executed. ";

// The status line's own slot: 4-byte aligned, which is all a 32-bit pointer needs.
FrameworkString& StatusSlot(sim::ScriptedHost& host) {
  return *reinterpret_cast<FrameworkString*>(static_cast<unsigned char*>(host.HostBlock3()) + kStatusLineOffset);
}

TEST_F(WinePluginTest, EachSetProNameReleasesItsStringOnceThroughTheHostsManager) {
  const int liveBefore = host.Strings().Live();
  for (int call = 1; call <= 3; ++call) {
    const int freesBefore = host.Strings().frees;
    EXPECT_STREQ(driver->Dll()->SetProName(host.MakeString(profilePath)), "Quenta Pendant --Orbelin Ver 1.0");
    EXPECT_EQ(host.Strings().frees, freesBefore + 1) << "call " << call;
  }
  EXPECT_EQ(host.Strings().Live(), liveBefore);
  EXPECT_EQ(host.Strings().badFrees, 0);
}

class StatusLineTest : public WinePluginTest {
 protected:
  // Function key 2 runs macro 1: its tap assigns the status line.
  void StartWithMacroKey() {
    std::string error;
    ASSERT_TRUE(sim::SetProfileFile(profilePath, "Quenta_M1_Pendant", "BUTTON1", "6", error)) << error;
    ASSERT_TRUE(sim::SetProfileFile(profilePath, "Quenta_M2_Pendant", "Macro1", "12", error)) << error;
    Start();
    Calls();
  }
  void TapMacroKey() {
    Poll(Pressed({kShiftBit}));
    Poll(Pressed({kShiftBit, kFunctionKey2Bit}));
    Poll(Pressed({kShiftBit}));
  }
  // The slot's neighbours, which no assignment may touch.
  void GuardTheSlot() {
    auto* block = static_cast<unsigned char*>(host.HostBlock3());
    std::memset(block + kStatusLineOffset - 4, 0xA5, 4);
    std::memset(block + kStatusLineOffset + 4, 0x5A, 4);
  }
  void ExpectGuardsIntact() {
    auto* block = static_cast<unsigned char*>(host.HostBlock3());
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(block[kStatusLineOffset - 4 + i], 0xA5) << "byte before the slot, " << i;
      EXPECT_EQ(block[kStatusLineOffset + 4 + i], 0x5A) << "byte after the slot, " << i;
    }
  }
};

TEST_F(StatusLineTest, AnUnsharedBufferWithRoomIsAssignedInPlace) {
  StartWithMacroKey();
  // Hand the slot a buffer of its own with room to spare; the scripted
  // host's shared one goes back with the slot's reference.
  FrameworkString& slot = StatusSlot(host);
  StringData* shared = StringData::FromChars(slot.chars);
  --shared->refs;
  slot = host.MakeString(std::string(63, '.'));
  char* const buffer = slot.chars;
  GuardTheSlot();
  const int allocationsBefore = host.Strings().allocations;
  const int freesBefore = host.Strings().frees;

  TapMacroKey();

  EXPECT_EQ(slot.chars, buffer);
  EXPECT_STREQ(slot.chars, kMacroStatus);
  EXPECT_EQ(StringData::FromChars(slot.chars)->dataLength, static_cast<int>(std::strlen(kMacroStatus)));
  EXPECT_EQ(StringData::FromChars(slot.chars)->allocLength, 63);
  EXPECT_EQ(StringData::FromChars(slot.chars)->refs, 1);
  EXPECT_EQ(host.Strings().allocations, allocationsBefore);
  EXPECT_EQ(host.Strings().frees, freesBefore);
  ExpectGuardsIntact();
}

TEST_F(StatusLineTest, ASharedBufferIsReplacedByOneFromTheSameManagerAndReleasedOnce) {
  StartWithMacroKey();
  FrameworkString& slot = StatusSlot(host);
  const char* const sharedChars = slot.chars;
  ASSERT_GE(StringData::FromChars(slot.chars)->refs, 2);  // the slot's and the host's own
  GuardTheSlot();
  const int allocationsBefore = host.Strings().allocations;
  const int freesBefore = host.Strings().frees;

  TapMacroKey();
  Calls();  // the host takes the new text and drops its own reference to the old

  EXPECT_NE(slot.chars, sharedChars);
  EXPECT_EQ(StringData::FromChars(slot.chars)->manager, static_cast<const StringManager*>(&host.Strings()));
  EXPECT_EQ(host.StatusText(), kMacroStatus);
  EXPECT_EQ(host.Strings().allocations, allocationsBefore + 1);
  // Freed once both references were dropped: the plug-in released it exactly once.
  EXPECT_EQ(host.Strings().frees, freesBefore + 1);
  EXPECT_EQ(host.Strings().badFrees, 0);
  ExpectGuardsIntact();
}

TEST_F(WinePluginTest, DroValuesCrossTheX87ReturnExactly) {
  // Full 53-bit fractions: any rounding on the way in shows in the product.
  const double values[] = {1.2000000000000002, 3.141592653589793, 7.9993, 66.66666666666667, 123.45678901234568,
                           199.99999999999997};
  Start();
  for (const double value : values) {
    host.SetDro(821, value);
    host.SetDro(74, value);
    Poll(Pressed({20, 23}));  // DRO 821 up, DRO 74 down
    Poll(InputReport{});
    EXPECT_EQ(Calls(), (std::vector<sim::HostCall>{sim::HostCall::SetDRO(821, value * 1.1),
                                                   sim::HostCall::SetDRO(74, value * 0.9)}))
        << "DRO value " << sim::FormatDouble(value);
  }
}

}  // namespace
}  // namespace quenta::wine

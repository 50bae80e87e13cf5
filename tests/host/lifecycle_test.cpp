// Descriptor, exports and instance lifecycle of both plug-ins, through the
// reference host.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugins.h"

namespace {

using vthost::EffectHost;
using vthost::PluginLibrary;
using vthost::Service;

struct Expected {
  const char* name;
  PluginLibrary& (*library)();
  const char* effectName;
  const char* description;
  DWORD instanceDataSize;
  const char* wordTypes;
  const char* wordSaved;
};

const Expected both[] = {
    {"dynamic", plugins::dynamic, "Vortigens\\Dynamic", "Dynamic and Chaos Effects", 8, "gggi",
     "yyyn"},
    {"fourier", plugins::fourier, "Vortigens\\Fourier", "Adds Pure Sound Effect", 2, "g", "y"},
};

EffectHost hostFor(PluginLibrary& library) {
  return EffectHost(library, vthost::WaveFormat{1, 16, 44100}, std::vector<uint8_t>(4096));
}

// ---- Descriptor ----------------------------------------------------------------------

TEST(Descriptor, WritesItsFieldsAndNoOtherByte) {
  for (const Expected& e : both) {
    SCOPED_TRACE(e.name);
    const unsigned char pattern = 0xA5;
    std::vector<unsigned char> block(512, pattern);
    const WORD version = e.library().queryXfm(reinterpret_cast<XfmDescriptor*>(block.data()));
    EXPECT_EQ(version, 0x0480);

    std::vector<unsigned char> expected(512, pattern);
    auto put = [&expected](size_t at, const void* bytes, size_t count) {
      std::memcpy(expected.data() + at, bytes, count);
    };
    auto putText = [&put](size_t at, const char* text) { put(at, text, std::strlen(text) + 1); };
    const WORD featureWord = XfmFeatureWord;
    const DWORD featureFlags = XfmFeatureFlags;
    putText(0, e.effectName);
    putText(40, "Orbelline");
    putText(120, e.description);
    put(190, &featureWord, 2);
    put(192, &featureFlags, 4);
    put(196, &e.instanceDataSize, 4);
    putText(200, e.wordTypes);
    putText(248, e.wordSaved);
    for (size_t i = 0; i < block.size(); ++i) {
      ASSERT_EQ(block[i], expected[i]) << "byte " << i;
    }
  }
}

// ---- Exports ------------------------------------------------------------------------

TEST(Exports, EveryOrdinalFindsItsNamedExport) {
  const std::pair<int, const char*> ordinals[] = {{2, "QueryXfm"},   {3, "XfmInit"},
                                                  {4, "XfmSetup"},   {5, "XfmDo"},
                                                  {6, "XfmDestroy"}, {100, "DIALOGMsgProc"}};
  for (const Expected& e : both) {
    SCOPED_TRACE(e.name);
    HMODULE module = e.library().module();
    for (auto [ordinal, name] : ordinals) {
      void* byName = dlsym(module, name);
      ASSERT_NE(byName, nullptr) << name << " is not exported";
      EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))), byName)
          << "ordinal " << ordinal;
    }
    EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(7)), nullptr);
  }
}

// Each library keeps its own kernel: none of the kernel's names may be
// visible, or one library's calls could land in the other's state.
TEST(Exports, KernelAndFrameInternalsStayHidden) {
  for (const Expected& e : both) {
    SCOPED_TRACE(e.name);
    for (const char* hidden : {"nspsRealFftNip", "nspStatusGet", "nspKernelState", "nspsbCopy"}) {
      EXPECT_EQ(dlsym(e.library().module(), hidden), nullptr) << hidden << " is visible";
    }
  }
}

// Without its module XfmSetup finds no dialog procedure and no template:
// no dialog can be made, which it reports as -1 with the instance untouched.
TEST(Exports, SetupThatCannotMakeItsDialogReportsMinusOneAndChangesNothing) {
  for (const Expected& e : both) {
    SCOPED_TRACE(e.name);
    EffectHost host = hostFor(e.library());
    ASSERT_EQ(host.init(), 1);
    const std::vector<WORD> words = host.instanceWords();
    host.clearCalls();
    support::MemoryWatch memory;
    EXPECT_EQ(e.library().xfmSetup(nullptr, nullptr, &host.record()), -1);
    EXPECT_TRUE(host.calls().empty());
    EXPECT_EQ(host.instanceWords(), words);
    memory.expectNothingLeaked("after XfmSetup");
  }
}

// ---- Instance lifecycle ---------------------------------------------------------------

TEST(Lifecycle, InitCreatesTheStartingCurvesInWordOrder) {
  EffectHost dynamic = hostFor(plugins::dynamic());
  dynamic.setInstanceWord(3, 0x1234);  // activeCurve belongs to the dialog
  ASSERT_EQ(dynamic.init(), 1);
  std::vector<std::string> created;
  for (const auto& call : dynamic.calls()) created.push_back(vthost::describe(call));
  EXPECT_EQ(created, (std::vector<std::string>{"createCurve(0, 16384, 0, 16384, 8192, 8192)",
                                               "createCurve(0, 16384, 0, 16384, 8192, 8192)",
                                               "createCurve(0, 16384, 0, 16384, 0, 0)"}));
  const std::vector<CurveHandle> handles = dynamic.curveHandles();
  ASSERT_EQ(handles.size(), 3u);
  EXPECT_EQ(dynamic.instanceWords()[3], 0x1234);
  for (double p : {0.0, 0.25, 0.77, 1.0}) {
    EXPECT_EQ(dynamic.curve(handles[0]).valueAt(p), 8192.0);
    EXPECT_EQ(dynamic.curve(handles[1]).valueAt(p), 8192.0);
    EXPECT_EQ(dynamic.curve(handles[2]).valueAt(p), 0.0);
  }

  EffectHost fourier = hostFor(plugins::fourier());
  ASSERT_EQ(fourier.init(), 1);
  ASSERT_EQ(fourier.calls().size(), 1u);
  EXPECT_EQ(vthost::describe(fourier.calls()[0]), "createCurve(0, 16384, 0, 16384, 0, 16384)");
  const vthost::Curve& transfer = fourier.curve(fourier.curveHandles()[0]);
  for (double p : {0.0, 0.125, 0.5, 0.999, 1.0}) EXPECT_EQ(transfer.valueAt(p), 16384.0 * p);
}

TEST(Lifecycle, DestroyReleasesEachCurveOnceAndMarksItsWord) {
  for (const Expected& e : both) {
    SCOPED_TRACE(e.name);
    EffectHost host = hostFor(e.library());
    ASSERT_EQ(host.init(), 1);
    const std::vector<CurveHandle> handles = host.curveHandles();
    host.clearCalls();
    support::MemoryWatch memory;
    EXPECT_EQ(host.destroy(), 0) << "the result is the unlock's";
    ASSERT_EQ(host.calls().size(), handles.size());
    for (size_t i = 0; i < handles.size(); ++i) {
      EXPECT_EQ(vthost::describe(host.calls()[i]),
                "destroyCurve(" + std::to_string(handles[i]) + ")");
      EXPECT_FALSE(host.curveExists(handles[i]));
      EXPECT_EQ(host.instanceWords()[i], 0xFFFF);
    }
    memory.expectNothingLeaked("after XfmDestroy");

    host.clearCalls();
    EXPECT_EQ(host.destroy(), 0);
    EXPECT_TRUE(host.calls().empty()) << "a second XfmDestroy released dead handles";
    EXPECT_TRUE(host.errors().empty());
  }
}

TEST(Lifecycle, DestroySkipsWordsThatHoldNoCurve) {
  EffectHost host = hostFor(plugins::dynamic());
  ASSERT_EQ(host.destroy(), 0);
  EXPECT_TRUE(host.calls().empty());
  EXPECT_EQ(host.instanceWords(), (std::vector<WORD>{0, 0, 0, 0}));
}

// ---- Memory of the real stages ----------------------------------------------------------

TEST(StageMemory, EachAllocationOrLockFailureReturnsOneAndLeaksNothing) {
  const std::pair<long, long> failures[] = {{1, 0}, {0, 1}, {0, 2}, {2, 0}, {0, 3}};
  for (const Expected& e : both) {
    for (auto [alloc, lock] : failures) {
      SCOPED_TRACE(std::string(e.name) + ": allocation " + std::to_string(alloc) + ", lock " +
                   std::to_string(lock));
      EffectHost host = hostFor(e.library());
      ASSERT_EQ(host.init(), 1);
      host.clearCalls();
      support::MemoryWatch memory;
      vtGlobalFailAlloc(alloc);
      vtGlobalFailLock(lock);
      EXPECT_EQ(host.process(), 1);
      vtGlobalFailAlloc(0);
      vtGlobalFailLock(0);
      EXPECT_TRUE(host.callsOf(Service::ReadData).empty());
      EXPECT_TRUE(host.callsOf(Service::WriteData).empty());
      EXPECT_TRUE(host.callsOf(Service::EndProgress).empty());
      memory.expectNothingLeaked("after the failure");
    }
  }
}

}  // namespace

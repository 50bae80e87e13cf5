// Kernel status, error modes, handlers and the default report's texts.
#include <gtest/gtest.h>

#include <string>

#include "nsp.h"
#include "nspreportlines.h"
#include "report_capture.h"
#include "vtplatform.h"

namespace {

struct Box {
  std::string text, caption;
  UINT type;
};

std::vector<Box> boxes;
int boxAnswer = IDNO;

int recordBox(const char* text, const char* caption, UINT type) {
  boxes.push_back({text, caption, type});
  return boxAnswer;
}

// Runs the default handler against the message-box stand-in, recording
// every box it shows.
class DefaultReport : public ::testing::Test {
 protected:
  void SetUp() override {
    boxes.clear();
    boxAnswer = IDNO;
    previousPolicy_ = vtSetMessageBoxPolicy(recordBox);
    nspSetErrorHandler(nullptr);
    nspErrorModeSet(NSP_ErrorModeLeaf);
    nspStatusSet(NSP_StatusNoError);
  }
  void TearDown() override {
    vtSetMessageBoxPolicy(previousPolicy_);
    nspErrorModeSet(NSP_ErrorModeLeaf);
    nspStatusSet(NSP_StatusNoError);
  }

 private:
  VtMessageBoxPolicy previousPolicy_ = nullptr;
};

const char leafClosing[] = "\n\nErrMode=NSP_ErrorModeLeaf\n\nTerminate the application?";

TEST(StatusText, NamesEveryKnownStatusAndOnlyThose) {
  EXPECT_STREQ(nspStatusText(0), "No Error");
  EXPECT_STREQ(nspStatusText(-1), "Backtrace");
  EXPECT_STREQ(nspStatusText(-3), "Internal error (bad state)");
  EXPECT_STREQ(nspStatusText(-4), "Out of memory");
  EXPECT_STREQ(nspStatusText(-5), "Bad argument");
  EXPECT_STREQ(nspStatusText(-6), "Unsupported function");
  EXPECT_STREQ(nspStatusText(-7), "Iteration convergence failed");
  EXPECT_STREQ(nspStatusText(-8), "Autotrace call");
  for (int unknown : {-2, 1, -9, 1000}) {
    EXPECT_STREQ(nspStatusText(unknown), "Unknown error or status code") << unknown;
  }
}

TEST(ReportError, TraceReportsKeepTheFirstErrorsStatus) {
  ReportCapture capture;
  nspReportError(-5, "f", "c", "m", 1);
  EXPECT_EQ(nspStatusGet(), -5);
  nspReportError(-1, "g", "c", "m", 2);
  nspReportError(-8, "h", "c", "m", 3);
  EXPECT_EQ(nspStatusGet(), -5);
  EXPECT_EQ(capture.reports().size(), 3u) << "trace reports still reach the handler";
}

TEST(ReportError, StatusZeroClearsAndCallsNoHandler) {
  ReportCapture capture;
  nspStatusSet(-5);
  EXPECT_EQ(nspReportError(0, "f", "c", "m", 1), 0);
  EXPECT_EQ(nspStatusGet(), 0);
  EXPECT_TRUE(capture.reports().empty());
}

int answerSeven(int, const char*, const char*, const char*, int) { return 7; }

TEST(ReportError, ReturnsTheHandlersResult) {
  ReportCapture capture;
  nspSetErrorHandler(answerSeven);
  EXPECT_EQ(nspReportError(-5, "f", "c", "m", 1), 7);
}

TEST(SetErrorHandler, NullReinstallsTheDefaultAndReturnsThePrevious) {
  NspErrorHandler original = nspSetErrorHandler(answerSeven);
  EXPECT_EQ(original, &nspDefaultErrorReport);
  EXPECT_EQ(nspSetErrorHandler(nullptr), &answerSeven);
  EXPECT_EQ(nspSetErrorHandler(original), &nspDefaultErrorReport);
}

TEST(ErrorMode, StartsAsLeafAndIsKept) {
  EXPECT_EQ(nspErrorModeGet(), NSP_ErrorModeLeaf);
  nspErrorModeSet(NSP_ErrorModeSilent);
  EXPECT_EQ(nspErrorModeGet(), NSP_ErrorModeSilent);
  nspErrorModeSet(NSP_ErrorModeLeaf);
}

TEST_F(DefaultReport, LeafModeAsksYesNoWithTheStoredStatusInTheCaption) {
  EXPECT_EQ(nspReportError(-5, "nspsRealFftNip", "inSamps==0", "nspffts", nspLine::realFftBuffers),
            -5);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "SPL Library Error: Bad argument");
  EXPECT_EQ(boxes[0].text,
            std::string("in function [nspffts:1789]:nspsRealFftNip():\n inSamps==0") + leafClosing);
  EXPECT_EQ(boxes[0].type, MB_YESNO | MB_SYSTEMMODAL);
}

TEST_F(DefaultReport, BacktraceUsesCalledFromAndNamesTheFirstError) {
  nspReportError(-5, "nspsRealFftNip", "order<0", "nspffts", nspLine::realFftOrder);
  nspReportError(-1, "nspsReal2FftNip", "out nspsRealFftNip", "nspffts",
                 nspLine::real2FftBacktrace);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].caption, "SPL Library Error: Bad argument");
  EXPECT_EQ(boxes[1].text, std::string("called from [nspffts:2342]:nspsReal2FftNip():\n "
                                       "out nspsRealFftNip") +
                               leafClosing);
}

TEST_F(DefaultReport, AutotracePutsTheContextInParentheses) {
  nspReportError(-8, "caller", "arg", "mod", 12);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, std::string("called from [mod:12]:\n caller(arg)") + leafClosing);
  EXPECT_EQ(boxes[0].caption, "SPL Library Error: No Error");
}

TEST_F(DefaultReport, SubstitutesMissingNamesAndNegativeLines) {
  nspDefaultErrorReport(-5, nullptr, nullptr, nullptr, -3);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, std::string("in function [:0]:<unknown>():\n ") + leafClosing);
}

TEST_F(DefaultReport, ParentModeAsksOkCancel) {
  nspErrorModeSet(NSP_ErrorModeParent);
  boxAnswer = IDOK;
  EXPECT_EQ(nspReportError(-4, "f", "No working Twd memory", "nsptwd", 5), -4);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "in function [nsptwd:5]:f():\n No working Twd memory\n\nErrMode=NSP_ErrorModeParent"
            "\n\nContinue?");
  EXPECT_EQ(boxes[0].caption, "SPL Library Error: Out of memory");
  EXPECT_EQ(boxes[0].type, MB_OKCANCEL | MB_SYSTEMMODAL);
}

TEST_F(DefaultReport, SilentAndUnknownModesShowNothingButRecordTheStatus) {
  for (int mode : {int{NSP_ErrorModeSilent}, 3, -1}) {
    nspStatusSet(0);
    nspErrorModeSet(mode);
    EXPECT_EQ(nspReportError(-5, "f", "c", "m", 1), -5);
    EXPECT_EQ(nspStatusGet(), -5);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(DefaultReport, CutsLongTextsToTheBuffers) {
  const std::string longName(300, 'x');
  nspDefaultErrorReport(-5, longName.c_str(), "c", "m", 1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.size(), 199u);
  EXPECT_EQ(boxes[0].text.rfind("in function [m:1]:xxx", 0), 0u);
}

TEST_F(DefaultReport, DefaultPolicyLetsTheProcessGoOn) {
  vtSetMessageBoxPolicy(nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(nspReportError(-5, "f", "c", "m", 1), -5);
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_NE(printed.find("SPL Library Error: Bad argument"), std::string::npos);
  EXPECT_NE(printed.find("in function [m:1]:f():"), std::string::npos);
}

int answerYes(const char*, const char*, UINT) { return IDYES; }
int answerCancel(const char*, const char*, UINT) { return IDCANCEL; }

TEST(DefaultReportDeathTest, YesInLeafModeTerminates) {
  EXPECT_EXIT(
      {
        vtSetMessageBoxPolicy(answerYes);
        nspReportError(-5, "f", "c", "m", 1);
      },
      ::testing::ExitedWithCode(EXIT_FAILURE), "SPL Library:\nterminating the application");
}

TEST(DefaultReportDeathTest, CancelInParentModeTerminates) {
  EXPECT_EXIT(
      {
        vtSetMessageBoxPolicy(answerCancel);
        nspErrorModeSet(NSP_ErrorModeParent);
        nspReportError(-5, "f", "c", "m", 1);
      },
      ::testing::ExitedWithCode(EXIT_FAILURE), "terminating the application");
}

TEST(QuietReportDeathTest, EndsTheProcessInLeafModeOnly) {
  EXPECT_EXIT(
      {
        nspSetErrorHandler(nspQuietErrorReport);
        nspReportError(-5, "f", "c", "m", 1);
      },
      ::testing::ExitedWithCode(1), "");
  nspErrorModeSet(NSP_ErrorModeParent);
  EXPECT_EQ(nspQuietErrorReport(-5, "f", "c", "m", 1), -5);
  nspErrorModeSet(NSP_ErrorModeLeaf);
}

TEST(KernelVersion, IdentifiesTheLibrary) {
  const KernelVersion* v = nspKernelVersion();
  EXPECT_EQ(v->major, 3);
  EXPECT_EQ(v->minor, 0);
  EXPECT_EQ(v->build, 13);
  EXPECT_STREQ(v->name, "spkernel.lib");
  EXPECT_STREQ(v->version, "v4.0 Release Candidate");
  EXPECT_STREQ(v->internalVersion, "[4.00.29, 01/30/97]");
  EXPECT_STREQ(v->buildDate, "Feb 24 1998");
  EXPECT_GT(std::string(v->compilerMaker).size(), 0u);
}

}  // namespace

// The message a system exception in another module becomes, over the frame's own texts.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "automation/frame_strings.h"
#include "utils/seh_message_logic.h"

using namespace vantorelix;

namespace {

// The frame's texts as the string table holds them.
std::u16string frameTextOf(int id) {
  static const std::map<int, std::u16string> table = {
      {IDS_ACCESS_VIOLATION_AT, u"モジュール '%1:s' のアドレス %0:p でアドレス %3:p に対する%2:s違反がおきました。"},
      {IDS_ACCESS_VIOLATION, u"アドレス %0:p でアドレス %2:p に対する%1:s違反がおきました。"},
      {IDS_ACCESS_READ, u"読み込み"},
      {IDS_ACCESS_WRITE, u"書き込み"},
      {IDS_DIVIDE_BY_ZERO, u"ゼロによる除算"},
      {IDS_RANGE_ERROR, u"範囲チェックエラー"},
      {IDS_INT_OVERFLOW, u"整数のオーバーフロー"},
      {IDS_FLOAT_INVALID, u"不正な浮動小数点数演算命令"},
      {IDS_FLOAT_DIVIDE, u"0 による浮動小数点数除算"},
      {IDS_FLOAT_OVERFLOW, u"浮動小数点数のオーバーフロー"},
      {IDS_FLOAT_UNDERFLOW, u"浮動小数点数のアンダーフロー"},
      {IDS_PRIVILEGED, u"特権命令違反"},
      {IDS_CONTROL_C, u"CTRL-C"},
      {IDS_STACK_OVERFLOW, u"スタック オーバーフロー"},
      {IDS_EXTERNAL_EXCEPTION, u"外部例外 %x"},
  };
  auto it = table.find(id);
  return it == table.end() ? u"<missing text>" : it->second;
}

FaultRecord fault(uint32_t code, uint64_t address = 0, uint64_t info0 = 0, uint64_t info1 = 0) {
  FaultRecord f;
  f.code = code;
  f.address = address;
  f.info[0] = info0;
  f.info[1] = info1;
  return f;
}

std::u16string message(const FaultRecord& f, std::u16string_view module = u"", int digits = 8) {
  return faultMessage(f, module, digits, frameTextOf);
}

TEST(FaultMessage, AccessViolationInAModuleNamesItWithBothAddresses) {
  EXPECT_EQ(message(fault(0xC0000005, 0x6674A5B5, 1, 0), u"fixture_write_null.dll"),
            u"モジュール 'fixture_write_null.dll' のアドレス 6674A5B5 でアドレス 00000000 に対する書き込み違反がおきました。");
  EXPECT_EQ(message(fault(0xC0000005, 0x00401000, 0, 0xDEADBEEF), u"host.exe"),
            u"モジュール 'host.exe' のアドレス 00401000 でアドレス DEADBEEF に対する読み込み違反がおきました。");
}

TEST(FaultMessage, AccessViolationWithoutModuleUsesTheShortText) {
  EXPECT_EQ(message(fault(0xC0000005, 0x00AB0000, 1, 0x10)),
            u"アドレス 00AB0000 でアドレス 00000010 に対する書き込み違反がおきました。");
  EXPECT_EQ(message(fault(0xC0000005, 0xFFFFFFFF, 0, 0xFFFFFFFF)),
            u"アドレス FFFFFFFF でアドレス FFFFFFFF に対する読み込み違反がおきました。");
}

TEST(FaultMessage, AnyNonZeroFirstInformationWordIsAWrite) {
  // 8 marks an execution that data execution prevention stopped.
  for (uint64_t kind : {1u, 8u, 0x80000000u}) {
    EXPECT_NE(message(fault(0xC0000005, 0, kind, 0)).find(u"書き込み違反"), std::u16string::npos) << kind;
  }
}

TEST(FaultMessage, PointersTakeTheWidthOfThePlatform) {
  EXPECT_EQ(message(fault(0xC0000005, 0x00007FF612345678ull, 0, 0x10), u"x.dll", 16),
            u"モジュール 'x.dll' のアドレス 00007FF612345678 でアドレス 0000000000000010 に対する読み込み違反がおきました。");
}

TEST(FaultMessage, EachCodeOfTheTableHasItsText) {
  const std::pair<uint32_t, const char16_t*> cases[] = {
      {0xC0000094, u"ゼロによる除算"},
      {0xC000008C, u"範囲チェックエラー"},
      {0xC0000095, u"整数のオーバーフロー"},
      {0xC0000090, u"不正な浮動小数点数演算命令"},
      {0xC000008F, u"不正な浮動小数点数演算命令"},
      {0xC0000092, u"不正な浮動小数点数演算命令"},
      {0xC000008E, u"0 による浮動小数点数除算"},
      {0xC0000091, u"浮動小数点数のオーバーフロー"},
      {0xC0000093, u"浮動小数点数のアンダーフロー"},
      {0xC000008D, u"浮動小数点数のアンダーフロー"},
      {0xC0000096, u"特権命令違反"},
      {0xC000013A, u"CTRL-C"},
      {0xC00000FD, u"スタック オーバーフロー"},
  };
  for (const auto& c : cases) {
    // The module and the addresses play no part in these texts.
    EXPECT_EQ(message(fault(c.first, 0x1234, 1, 2), u"m.dll"), c.second) << std::hex << c.first;
  }
}

TEST(FaultMessage, AnyOtherCodeIsAnExternalExceptionInHexadecimalWithoutLeadingZeros) {
  struct Case {
    uint32_t code;
    std::u16string_view module;
    std::u16string text;
  };
  const Case cases[] = {
      {0xE06D7363, u"", u"外部例外 E06D7363"},
      {0x0BADC0DE, u"", u"外部例外 BADC0DE"},
      {0x80000003, u"", u"外部例外 80000003"},  // a breakpoint is no fault of the table
      {0, u"", u"外部例外 0"},
      {0xC000001D, u"m.dll", u"外部例外 C000001D"},  // illegal instruction
  };
  for (const Case& c : cases) EXPECT_EQ(message(fault(c.code), c.module), c.text) << std::hex << c.code;
}

TEST(PointerText, ZeroFilledUpperCase) {
  struct Case {
    uint64_t pointer;
    int digits;
    std::u16string text;
  };
  const Case cases[] = {
      {0, 8, u"00000000"},
      {0xabcdef, 8, u"00ABCDEF"},
      {0x123456789ull, 8, u"123456789"},  // never cut
      {0xFFFFFFFFFFFFFFFFull, 16, u"FFFFFFFFFFFFFFFF"},
  };
  for (const Case& c : cases) EXPECT_EQ(pointerText(c.pointer, c.digits), c.text) << std::hex << c.pointer;
}

TEST(FileNameOf, KeepsWhatFollowsTheLastSeparator) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"C:\\Windows\\system32\\ole32.dll", u"ole32.dll"},
      {u"Z:/dir/fixture_ok.dll", u"fixture_ok.dll"},
      {u"C:name.dll", u"name.dll"},
      {u"\\\\server\\share\\表示.dll", u"表示.dll"},
      {u"plain.dll", u"plain.dll"},
      {u"C:\\dir\\", u""},
      {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(fileNameOf(c.first), c.second) << ::testing::PrintToString(c.first);
}

}  // namespace

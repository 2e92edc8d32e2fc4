// test_environment_variable.cpp - CZELEnvironmentVariable: reading, setting
// and appending, and the failures it logs.
#include "zel_environment_variable.h"
#include "zel_test_support.h"
#include "zelsys/environment.h"

#include <string>

namespace {

const char16_t UNKNOWN_NAME[] = u"The environment variable name has not been initialized";
const char16_t SET_FAILED[] = u"SetEnvironmentVariable call failed.";
const char16_t *const TEST_NAMES[] = {u"ZelVarTestOne", u"ZelVarTestTwo"};

// Every variable a test uses is removed before and after it.
class EnvironmentVariable : public ::testing::Test {
protected:
  void SetUp() override { removeAll(); }
  void TearDown() override { removeAll(); }
  static void removeAll() {
    for (const char16_t *pszName : TEST_NAMES)
      zelsys::SetEnvironmentVariableW(pszName, nullptr);
  }
};

// The process environment's own view of a variable ("<unset>" when absent).
std::u16string platformValue(const char16_t *pszName) {
  char16_t buffer[64];
  const zelsys::DWORD length = zelsys::GetEnvironmentVariableW(pszName, buffer, 64);
  if (length == 0 || length >= 64)
    return u"<unset>";
  return std::u16string(buffer, length);
}

std::u16string textOf(const CZELWCharString &value) {
  return value.isValid() ? std::u16string(value.getBuffer(), value.getLength()) : u"";
}

} // namespace

TEST_F(EnvironmentVariable, SetValueReachesTheEnvironmentAndReadsBack) {
  zeltest::RecordingSink sink;
  CZELEnvironmentVariable variable(u"ZelVarTestOne");
  EXPECT_TRUE(variable.setValue(u"first value"));
  EXPECT_EQ(platformValue(u"ZELVARTESTONE"), u"first value");

  CZELWCharString value(u"untouched");
  EXPECT_TRUE(CZELEnvironmentVariable(u"zelvartestone").getValue(value)) << "any case";
  EXPECT_EQ(textOf(value), u"first value");

  EXPECT_TRUE(variable.setValue(u"second"));
  EXPECT_TRUE(variable.getValue(value));
  EXPECT_EQ(textOf(value), u"second");
  EXPECT_EQ(sink.count(), 0u);
}

TEST_F(EnvironmentVariable, UnsetOrEmptyVariableGivesFalseAndKeepsTheOutput) {
  zeltest::RecordingSink sink;
  CZELWCharString value(u"untouched");
  EXPECT_FALSE(CZELEnvironmentVariable(u"ZelVarTestOne").getValue(value));
  EXPECT_EQ(textOf(value), u"untouched");

  CZELEnvironmentVariable empty(u"ZelVarTestTwo");
  EXPECT_TRUE(empty.setValue(CZELWCharString()));
  EXPECT_FALSE(empty.getValue(value));
  EXPECT_EQ(textOf(value), u"untouched");
  EXPECT_EQ(sink.count(), 0u) << "an absent value is no failure";
}

TEST_F(EnvironmentVariable, UninitialisedNameIsLoggedAndFails) {
  zeltest::RecordingSink sink;
  CZELEnvironmentVariable variable(u"");
  CZELWCharString value(u"untouched");
  EXPECT_FALSE(variable.getValue(value));
  EXPECT_EQ(textOf(value), u"untouched");
  EXPECT_FALSE(variable.setValue(u"x"));
  EXPECT_FALSE(variable.setValue(u"x", true, true));
  ASSERT_EQ(sink.countMessage(UNKNOWN_NAME), 3u);
  const zeltest::LoggedEntry &entry = sink.entries()[0];
  EXPECT_EQ(entry.value, -1);
  EXPECT_EQ(entry.sourceFile, u".\\zel_environment_variable");

  // A name given later makes the object usable.
  EXPECT_TRUE(variable.setName(u"ZelVarTestOne"));
  EXPECT_TRUE(variable.setValue(u"named"));
  EXPECT_EQ(platformValue(u"ZelVarTestOne"), u"named");
  EXPECT_TRUE(variable.setName(CZELWCharString()));
  EXPECT_FALSE(variable.getValue(value));
  EXPECT_EQ(sink.countMessage(UNKNOWN_NAME), 4u);
}

TEST_F(EnvironmentVariable, AppendNeedsACurrentValue) {
  zeltest::RecordingSink sink;
  CZELEnvironmentVariable variable(u"ZelVarTestOne");
  EXPECT_FALSE(variable.setValue(u"tail", true)) << "nothing to append to";
  EXPECT_EQ(platformValue(u"ZelVarTestOne"), u"<unset>") << "and nothing was set";

  ASSERT_TRUE(variable.setValue(u"head"));
  EXPECT_TRUE(variable.setValue(u";tail", true));
  EXPECT_EQ(platformValue(u"ZelVarTestOne"), u"head;tail");
  EXPECT_EQ(sink.count(), 0u);
}

TEST_F(EnvironmentVariable, ComputeOnlyLeavesTheEnvironmentAlone) {
  CZELEnvironmentVariable variable(u"ZelVarTestOne");
  EXPECT_TRUE(variable.setValue(u"new", false, true));
  EXPECT_EQ(platformValue(u"ZelVarTestOne"), u"<unset>");
  EXPECT_FALSE(variable.setValue(u"new", true, true)) << "append still needs a value";

  ASSERT_TRUE(variable.setValue(u"old"));
  EXPECT_TRUE(variable.setValue(u"+more", true, true));
  EXPECT_EQ(platformValue(u"ZelVarTestOne"), u"old");
}

TEST_F(EnvironmentVariable, RefusedSetIsLoggedWithTheSystemError) {
  zeltest::RecordingSink sink;
  CZELEnvironmentVariable variable(u"ZelVarTest=Bad");
  EXPECT_FALSE(variable.setValue(u"x"));
  ASSERT_EQ(sink.countMessage(SET_FAILED), 1u);
  EXPECT_EQ(sink.entries()[0].value, 87) << "ERROR_INVALID_PARAMETER";
}

TEST_F(EnvironmentVariable, LongValuesAreReadWithinTheBuffer) {
  CZELEnvironmentVariable variable(u"ZelVarTestOne");
  // The longest value that fits the read buffer with its terminator.
  const std::u16string longest(CZELEnvironmentVariable::MAX_VALUE_UNITS - 1, u'a');
  ASSERT_TRUE(variable.setValue(longest.c_str()));
  CZELWCharString value;
  EXPECT_TRUE(variable.getValue(value));
  EXPECT_EQ(value.getLength(), longest.size());

  // One more unit does not fit: reported absent, never read past the buffer.
  const std::u16string tooLong(CZELEnvironmentVariable::MAX_VALUE_UNITS + 100, u'b');
  if (zelsys::SetEnvironmentVariableW(u"ZelVarTestTwo", tooLong.c_str())) {
    CZELWCharString kept(u"untouched");
    const bool bRead = CZELEnvironmentVariable(u"ZelVarTestTwo").getValue(kept);
    ZEL_EXPECT_GAP_ON_WINE(!bRead && textOf(kept) == u"untouched",
                           "the platform hands back the value cut to the buffer");
  }
}

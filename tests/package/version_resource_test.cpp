// The DLL's version resource, read back the way Explorer's Details page does.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/test_support.h"

namespace {

class VersionResource : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring dll = lumo_test::BinPath(L"LumoGameSDK.dll");
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource in " << lumo_test::Narrow(dll);
    data_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(dll.c_str(), 0, size, data_.data()));
  }

  // The string of `key` in the block that the resource's first translation names.
  std::wstring Text(const wchar_t* key) {
    struct Translation {
      WORD language;
      WORD codePage;
    };
    Translation* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        length < sizeof(Translation)) {
      ADD_FAILURE() << "no translation entry";
      return L"";
    }
    wchar_t path[128];
    swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
             translation->codePage, key);
    wchar_t* value = nullptr;
    if (!VerQueryValueW(data_.data(), path, reinterpret_cast<void**>(&value), &length)) {
      return L"(missing)";
    }
    return value;
  }

  std::string data_;
};

TEST_F(VersionResource, FixedPartCarriesTheProjectVersion) {
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\", reinterpret_cast<void**>(&info), &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
  const DWORD high = MAKELONG(LUMO_EXPECTED_VERSION_MINOR, LUMO_EXPECTED_VERSION_MAJOR);
  const DWORD low = MAKELONG(0, LUMO_EXPECTED_VERSION_PATCH);
  EXPECT_EQ(info->dwFileVersionMS, high);
  EXPECT_EQ(info->dwFileVersionLS, low);
  EXPECT_EQ(info->dwProductVersionMS, high);
  EXPECT_EQ(info->dwProductVersionLS, low);
  EXPECT_EQ(info->dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST_F(VersionResource, DetailsTexts) {
  const std::wstring version = lumo_test::Widen(LUMO_EXPECTED_VERSION);
  const struct {
    const wchar_t* key;
    std::wstring expected;
  } cases[] = {
      {L"FileVersion", version},
      {L"ProductVersion", version},
      {L"ProductName", L"LumoGameSDK"},
      {L"FileDescription", L"LumoGameSDK game integration library"},
      {L"OriginalFilename", L"LumoGameSDK.dll"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text(c.key), c.expected) << lumo_test::Narrow(c.key);
  }
}

}  // namespace

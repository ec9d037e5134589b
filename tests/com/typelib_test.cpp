// The type library embedded in Vantorelix.dll, read back with LoadTypeLibEx and checked
// member by member against the interface that compiled callers depend on.
#include "com_support.h"

#include <cstring>

using namespace vtest;
using vantorelix::Module;

namespace {
::testing::Environment* const apartment = ::testing::AddGlobalTestEnvironment(new Apartment);

struct Param {
  const char16_t* name;
  VARTYPE vt;     // VT_PTR for VARIANT*
  int flags;      // PARAMFLAG_* as the type library holds them
  const char16_t* defaultText;  // the default value as text, or null
};
struct Method {
  int slot;
  DISPID dispid;
  const char16_t* name;
  std::vector<Param> params;  // the retval, where there is one, is the last entry
};

constexpr int F_IN = PARAMFLAG_FIN;
constexpr int F_OPT = PARAMFLAG_FIN | PARAMFLAG_FOPT;
constexpr int F_DEF = PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;
constexpr int F_RET = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

// VT_PTR entries point at VT_BSTR, VT_VARIANT, VT_INT, VT_UINT or VT_BOOL: the second type
// is checked through the pointer.
const std::vector<Method>& expectedMethods() {
  static const std::vector<Method> methods = {
      {7, 0xC9, u"sleep", {{u"milliseconds", VT_UINT, F_DEF, u"100"}}},
      {8, 0xCA, u"getDesktopAvailRectStr", {{u"flagOStr", VT_I4, F_DEF, u"0"}, {u"returnValue", VT_BSTR, F_RET, nullptr}}},
      {9, 0xCB, u"getDesktopAvailRectArray", {{u"returnArray", VT_VARIANT, F_RET, nullptr}}},
      {10, 0xCC, u"progIDToClsid", {{u"sProgID", VT_BSTR, F_IN, nullptr}, {u"retVal", VT_BSTR, F_RET, nullptr}}},
      {11, 0xCD, u"clsidToProgID", {{u"sClsid", VT_BSTR, F_IN, nullptr}, {u"retVal", VT_BSTR, F_RET, nullptr}}},
      {12, 0xCE, u"regsvr", {{u"path", VT_BSTR, F_IN, nullptr}, {u"errResult", VT_BSTR, F_RET, nullptr}}},
      {13, 0xCF, u"regsvr_u", {{u"path", VT_BSTR, F_IN, nullptr}, {u"errResult", VT_BSTR, F_RET, nullptr}}},
      {14, 0xD0, u"genGUID", {{u"retVal", VT_BSTR, F_RET, nullptr}}},
      {15, 0xD1, u"beep", {{u"Hz", VT_UINT, F_DEF, u"300"}, {u"milliSec", VT_UINT, F_DEF, u"10"}, {u"errMsg", VT_BSTR, F_RET, nullptr}}},
      {16, 0xD2, u"msgBeep", {{u"uType", VT_UINT, F_DEF, u"0"}, {u"errMsg", VT_BSTR, F_RET, nullptr}}},
      {17, 0xD3, u"sndPlaySound", {{u"path", VT_BSTR, F_DEF, u""}, {u"flag", VT_UINT, F_DEF, u"0"}, {u"errMsg", VT_BSTR, F_RET, nullptr}}},
      {18, 0xD4, u"getErrMsg", {{u"errCode", VT_UINT, F_IN, nullptr}, {u"sErrMsg", VT_BSTR, F_RET, nullptr}}},
      {19, 0xD6, u"getLongPath", {{u"ShortPath", VT_BSTR, F_IN, nullptr}, {u"longPath", VT_BSTR, F_RET, nullptr}}},
      {20, 0xD7, u"getMaxPath", {{u"iMaxPath", VT_INT, F_RET, nullptr}}},
      {21, 0xD5, u"setFileTime",
       {{u"filePath", VT_BSTR, F_IN, nullptr}, {u"Create", VT_PTR, F_OPT, nullptr}, {u"Access", VT_PTR, F_OPT, nullptr},
        {u"Write", VT_PTR, F_OPT, nullptr}, {u"errResult", VT_BSTR, F_RET, nullptr}}},
      {22, 0xD8, u"setFileTimeOne",
       {{u"filePath", VT_BSTR, F_IN, nullptr}, {u"sTimeType", VT_BSTR, F_IN, nullptr}, {u"Year", VT_I4, F_IN, nullptr},
        {u"Month", VT_I4, F_DEF, u"1"}, {u"Day", VT_I4, F_DEF, u"1"}, {u"Hour", VT_I4, F_DEF, u"0"},
        {u"Minute", VT_I4, F_DEF, u"0"}, {u"Second", VT_I4, F_DEF, u"0"}, {u"milliseconds", VT_I4, F_DEF, u"0"},
        {u"errResult", VT_BSTR, F_RET, nullptr}}},
      {23, 0xD9, u"pathRelPathTo",
       {{u"fromPath", VT_BSTR, F_IN, nullptr}, {u"fromIsDir", VT_BOOL, F_IN, nullptr}, {u"toPath", VT_BSTR, F_IN, nullptr},
        {u"toIsDir", VT_BOOL, F_DEF, u"0"}, {u"relPath", VT_BSTR, F_RET, nullptr}}},
      {24, 0xDA, u"getFullPathName", {{u"relPath", VT_BSTR, F_IN, nullptr}, {u"fullPath", VT_BSTR, F_RET, nullptr}}},
      {25, 0xDB, u"extractRelPath",
       {{u"basePath", VT_BSTR, F_IN, nullptr}, {u"destPath", VT_BSTR, F_IN, nullptr}, {u"relPath", VT_BSTR, F_RET, nullptr}}},
      {26, 0xDC, u"expandFileName", {{u"relPath", VT_BSTR, F_IN, nullptr}, {u"fullPath", VT_BSTR, F_RET, nullptr}}},
      {27, 0xDD, u"getCurrentDir", {{u"currentDir", VT_BSTR, F_RET, nullptr}}},
      {28, 0xDE, u"setCurrentDir", {{u"dirPath", VT_BSTR, F_IN, nullptr}, {u"bSuccess", VT_BOOL, F_RET, nullptr}}},
      // The name table keeps one spelling per name: ShortPath and longPath as getLongPath has them.
      {29, 0xDF, u"getShortPath", {{u"longPath", VT_BSTR, F_IN, nullptr}, {u"ShortPath", VT_BSTR, F_RET, nullptr}}},
      {30, 0xE0, u"getTickCount", {{u"tickCount", VT_UINT, F_RET, nullptr}}},
      {31, 0xE1, u"getFileTime", {{u"filePath", VT_BSTR, F_IN, nullptr}, {u"aryStrDate", VT_VARIANT, F_RET, nullptr}}},
      {32, 0xE2, u"getSysColor", {{u"nIndex", VT_INT, F_IN, nullptr}, {u"nColorRBG", VT_UINT, F_RET, nullptr}}},
      {33, 0xE3, u"setSysColor",
       {{u"aryElmIdx", VT_VARIANT, F_IN, nullptr}, {u"aryRGBColor", VT_VARIANT, F_IN, nullptr},
        {u"bSuccess", VT_BOOL, F_RET, nullptr}}},
  };
  return methods;
}

class TypeLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LoadTypeLibEx(w(dllPath()), REGKIND_NONE, &lib), S_OK);
  }
  ComPtr<ITypeInfo> infoOf(REFGUID guid) {
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(lib->GetTypeInfoOfGuid(guid, &info), S_OK);
    return info;
  }
  // The vtable half of the dual interface IUtils (its dispatch half is infoOf(IID_IUtils)).
  ComPtr<ITypeInfo> vtableOfIUtils() {
    ComPtr<ITypeInfo> vtable;
    auto info = infoOf(IID_IUtils);
    HREFTYPE ref = 0;
    if (!info) return vtable;
    HRESULT hr = info->GetRefTypeOfImplType(-1, &ref);
    EXPECT_EQ(hr, S_OK) << "IUtils is not a dual interface";
    if (hr == S_OK) {
      EXPECT_EQ(info->GetRefTypeInfo(ref, &vtable), S_OK);
    }
    return vtable;
  }
  ComPtr<ITypeLib> lib;
};

std::u16string docName(ITypeInfo* info, MEMBERID id) {
  Bstr name;
  info->GetDocumentation(id, name.out(), nullptr, nullptr, nullptr);
  return std::u16string(name.view());
}
std::u16string docString(ITypeInfo* info, MEMBERID id) {
  Bstr doc;
  info->GetDocumentation(id, nullptr, doc.out(), nullptr, nullptr);
  return std::u16string(doc.view());
}

std::u16string variantText(const VARIANT& value) {
  vantorelix::Variant copy;
  if (FAILED(VariantChangeType(copy.get(), const_cast<VARIANT*>(&value), 0, VT_BSTR))) return u"<unconvertible>";
  return text(V_BSTR(copy.get()));
}

}  // namespace

TEST_F(TypeLibrary, LibraryAttributesAndExactlyTwoTypes) {
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_Vantorelix));
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->lcid, 0x0409u);
  EXPECT_EQ(attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  lib->ReleaseTLibAttr(attr);
  Bstr name, doc, helpFile;
  ASSERT_EQ(lib->GetDocumentation(-1, name.out(), doc.out(), nullptr, helpFile.out()), S_OK);
  EXPECT_EQ(name.view(), u"Vantorelix");
  EXPECT_EQ(doc.view(), u"Vantorelix Library");
  EXPECT_TRUE(helpFile.view().empty());
  EXPECT_EQ(lib->GetTypeInfoCount(), 2u);
}

TEST_F(TypeLibrary, IUtilsIsADualInterfaceWith34Slots) {
  auto info = infoOf(IID_IUtils);
  ASSERT_TRUE(info);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  // The loader presents the dispatch half of a dual interface without FOLEAUTOMATION; the
  // stored flags are checked in the resource itself below.
  EXPECT_EQ(attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE), TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_TRUE(IsEqualGUID(attr->guid, IID_IUtils));
  info->ReleaseTypeAttr(attr);
  EXPECT_EQ(docName(info.Get(), MEMBERID_NIL), u"IUtils");
  EXPECT_EQ(docString(info.Get(), MEMBERID_NIL), u"Dispatch interface for Utils Object");

  // The vtable side of the dual interface: IUnknown (3) + IDispatch (4) + 27 methods.
  ComPtr<ITypeInfo> vtable = vtableOfIUtils();
  ASSERT_TRUE(vtable);
  ASSERT_EQ(vtable->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  EXPECT_EQ(attr->cbSizeVft, 34 * sizeof(void*));
  EXPECT_EQ(attr->cFuncs, 27);
  EXPECT_EQ(attr->wTypeFlags & 0x1140, 0x1140);
  vtable->ReleaseTypeAttr(attr);
}

TEST(TypeLibraryResource, IsTypelibOneInMsftFormatWithTheDualFlagsStored) {
  Module dll = Module::adopt(LoadLibraryExW(w(dllPath()), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(dll);
  HRSRC res = FindResourceW(dll.get(), MAKEINTRESOURCEW(1), L"TYPELIB");
  ASSERT_NE(res, nullptr);
  const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(dll.get(), res)));
  DWORD size = SizeofResource(dll.get(), res);
  ASSERT_GT(size, 0x60u);
  ASSERT_EQ(std::memcmp(data, "MSFT", 4), 0);
  // Header: after the magic, version, GUID offset, two locales, varflags, version, flags and
  // the type count come the offsets of the type records (one more word when a help DLL is named).
  DWORD varflags, count;
  std::memcpy(&varflags, data + 20, 4);
  std::memcpy(&count, data + 32, 4);
  ASSERT_EQ(count, 2u);
  size_t offsets = 0x54 + ((varflags & 0x100) ? 4 : 0);
  size_t segments = offsets + 4 * count;
  LONG typeInfoBase;  // first segment: the type records
  std::memcpy(&typeInfoBase, data + segments, 4);
  int interfaces = 0;
  for (DWORD i = 0; i < count; ++i) {
    LONG at;
    std::memcpy(&at, data + offsets + 4 * i, 4);
    const BYTE* record = data + typeInfoBase + at;
    DWORD kind, elements, flags;
    std::memcpy(&kind, record, 4);
    std::memcpy(&elements, record + 24, 4);
    std::memcpy(&flags, record + 48, 4);
    if ((kind & 0xF) == TKIND_DISPATCH) {
      ++interfaces;
      EXPECT_EQ(flags, 0x1140u);  // FDUAL | FOLEAUTOMATION | FDISPATCHABLE, not FNONEXTENSIBLE
      EXPECT_EQ(elements & 0xFFFF, 27u);
    } else {
      EXPECT_EQ(kind & 0xF, static_cast<DWORD>(TKIND_COCLASS));
      EXPECT_EQ(flags, static_cast<DWORD>(TYPEFLAG_FCANCREATE));
    }
  }
  EXPECT_EQ(interfaces, 1);
}

TEST_F(TypeLibrary, EverySlotDispidNameTypeFlagAndDefault) {
  auto info = infoOf(IID_IUtils);
  ASSERT_TRUE(info);
  ComPtr<ITypeInfo> vtable = vtableOfIUtils();
  ASSERT_TRUE(vtable);

  for (const Method& m : expectedMethods()) {
    SCOPED_TRACE(std::string(m.name, m.name + std::char_traits<char16_t>::length(m.name)));
    // Vtable slots are counted from 0 over IUnknown and IDispatch, so method index = slot - 7.
    FUNCDESC* fd = nullptr;
    ASSERT_EQ(vtable->GetFuncDesc(m.slot - 7, &fd), S_OK);
    EXPECT_EQ(fd->memid, m.dispid);
    EXPECT_EQ(fd->oVft, m.slot * static_cast<int>(sizeof(void*)));
    EXPECT_EQ(fd->invkind, INVOKE_FUNC);
    EXPECT_EQ(fd->elemdescFunc.tdesc.vt, VT_HRESULT);
    EXPECT_EQ(fd->cParams, static_cast<SHORT>(m.params.size()));

    std::vector<BSTR> names(1 + m.params.size(), nullptr);
    UINT got = 0;
    ASSERT_EQ(vtable->GetNames(fd->memid, names.data(), static_cast<UINT>(names.size()), &got), S_OK);
    ASSERT_EQ(got, names.size());
    EXPECT_EQ(text(names[0]), m.name);
    for (size_t i = 0; i < m.params.size() && i < static_cast<size_t>(fd->cParams); ++i) {
      const Param& p = m.params[i];
      const ELEMDESC& e = fd->lprgelemdescParam[i];
      SCOPED_TRACE(std::string(p.name, p.name + std::char_traits<char16_t>::length(p.name)));
      EXPECT_EQ(text(names[i + 1]), p.name);
      const TYPEDESC* t = &e.tdesc;
      if (p.flags & PARAMFLAG_FOUT) {
        ASSERT_EQ(t->vt, VT_PTR);
        t = t->lptdesc;
        EXPECT_EQ(t->vt, p.vt);
      } else if (p.vt == VT_PTR) {
        ASSERT_EQ(t->vt, VT_PTR);
        EXPECT_EQ(t->lptdesc->vt, VT_VARIANT);
      } else {
        EXPECT_EQ(t->vt, p.vt);
      }
      EXPECT_EQ(e.paramdesc.wParamFlags, p.flags);
      if (p.defaultText) {
        ASSERT_NE(e.paramdesc.pparamdescex, nullptr);
        EXPECT_EQ(variantText(e.paramdesc.pparamdescex->varDefaultValue), p.defaultText);
      }
    }
    for (BSTR b : names) SysFreeString(b);
    vtable->ReleaseFuncDesc(fd);
  }
}

// Object browsers show a method's help string as its description: every method has one, a
// single line of plain English text, and the dispatch and vtable halves give the same one.
TEST_F(TypeLibrary, EveryMethodHasAOneLineHelpString) {
  auto info = infoOf(IID_IUtils);
  ASSERT_TRUE(info);
  ComPtr<ITypeInfo> vtable = vtableOfIUtils();
  ASSERT_TRUE(vtable);
  for (const Method& m : expectedMethods()) {
    SCOPED_TRACE(std::string(m.name, m.name + std::char_traits<char16_t>::length(m.name)));
    const std::u16string help = docString(vtable.Get(), m.dispid);
    EXPECT_FALSE(help.empty());
    for (char16_t c : help) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "character " << static_cast<int>(c);
    EXPECT_EQ(docString(info.Get(), m.dispid), help);
  }
}

TEST_F(TypeLibrary, DispidsOutOfSlotOrderAreFoundByName) {
  auto info = infoOf(IID_IUtils);
  ASSERT_TRUE(info);
  struct { const wchar_t* name; MEMBERID id; } cases[] = {
      {L"setFileTime", 0xD5}, {L"getLongPath", 0xD6}, {L"getMaxPath", 0xD7}, {L"GETTICKCOUNT", 0xE0}};
  for (auto& c : cases) {
    MEMBERID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(c.name);
    ASSERT_EQ(info->GetIDsOfNames(&name, 1, &id), S_OK);
    EXPECT_EQ(id, c.id);
  }
}

TEST_F(TypeLibrary, UtilsIsACreatableCoclassWithIUtilsAsDefault) {
  auto info = infoOf(CLSID_Utils);
  ASSERT_TRUE(info);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_COCLASS);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCANCREATE);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->cImplTypes, 1);
  info->ReleaseTypeAttr(attr);
  EXPECT_EQ(docName(info.Get(), MEMBERID_NIL), u"Utils");
  EXPECT_EQ(docString(info.Get(), MEMBERID_NIL), u"Utils Object");
  INT flags = 0;
  ASSERT_EQ(info->GetImplTypeFlags(0, &flags), S_OK);
  EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
  HREFTYPE ref = 0;
  ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
  ComPtr<ITypeInfo> itf;
  ASSERT_EQ(info->GetRefTypeInfo(ref, &itf), S_OK);
  ASSERT_EQ(itf->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, IID_IUtils));
  itf->ReleaseTypeAttr(attr);
}

TEST_F(TypeLibrary, TheIdentifiersNeverChange) {
  // Registered clients and compiled callers hold these values.
  wchar_t buffer[64];
  StringFromGUID2(LIBID_Vantorelix, buffer, 64);
  EXPECT_STREQ(buffer, L"{C7C9CF68-A9EA-4EBB-9196-AEF9132F38EA}");
  StringFromGUID2(IID_IUtils, buffer, 64);
  EXPECT_STREQ(buffer, L"{33E75799-BA2C-48E8-8AC5-8C52D210F460}");
  StringFromGUID2(CLSID_Utils, buffer, 64);
  EXPECT_STREQ(buffer, L"{D26D3337-1F1D-4805-AC89-287F698FEC0E}");
}

// The public scripting contract as pages and hosts see it, read from the built server's embedded type library
// and checked against numbers written here: identities, member DISPIDs and signatures, the event interface.
// Any change to the interface definition that would break a page fails here.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "browserctl/com_ptr.h"
#include "browserctl/tarnel.h"
#include "server_dll.h"

namespace tarnel {
namespace {

constexpr wchar_t kLibId[] = L"{0F240A97-B9E7-402B-B19E-01D27EF40D2B}";
constexpr wchar_t kInterfaceId[] = L"{238A51A3-29EF-42BA-A131-93BBAE9C69E5}";
constexpr wchar_t kEventsId[] = L"{DEB3E6E7-C5B7-44EC-A848-17B9A1AD8609}";
constexpr wchar_t kClassId[] = L"{C9169A8E-F20B-463E-B3BD-345D359418CF}";

GUID Guid(const wchar_t* text) {
    GUID guid{};
    EXPECT_EQ(CLSIDFromString(text, &guid), S_OK) << testing::PrintToString(std::wstring(text));
    return guid;
}

struct Member {
    const wchar_t* name;
    DISPID id;
    INVOKEKIND kind;
    std::vector<VARTYPE> params;  // in order, [out, retval] last
};

class Contract : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(LoadTypeLibEx(DllPath().c_str(), REGKIND_NONE, lib_.Put()), S_OK); }

    ComPtr<ITypeInfo> Info(const GUID& guid) {
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(lib_->GetTypeInfoOfGuid(guid, info.Put()), S_OK);
        return info;
    }

    // Every function of info, in table order, against the expected members.
    static void ExpectMembers(ITypeInfo* info, const std::vector<Member>& expected) {
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        UINT count = attr->cFuncs;
        info->ReleaseTypeAttr(attr);
        ASSERT_EQ(count, expected.size());
        for (UINT i = 0; i < count; ++i) {
            const Member& m = expected[i];
            SCOPED_TRACE(testing::PrintToString(std::wstring(m.name)));
            FUNCDESC* func = nullptr;
            ASSERT_EQ(info->GetFuncDesc(i, &func), S_OK);
            BStr name;
            EXPECT_EQ(info->GetDocumentation(func->memid, name.Put(), nullptr, nullptr, nullptr), S_OK);
            EXPECT_STREQ(name.CStr(), m.name);
            EXPECT_EQ(func->memid, m.id);
            EXPECT_EQ(func->invkind, m.kind);
            EXPECT_EQ(static_cast<size_t>(func->cParams), m.params.size());
            for (SHORT p = 0; p < func->cParams && static_cast<size_t>(p) < m.params.size(); ++p) {
                const TYPEDESC& type = func->lprgelemdescParam[p].tdesc;
                VARTYPE vt = type.vt == VT_PTR ? static_cast<VARTYPE>(type.lptdesc->vt | VT_BYREF) : type.vt;
                EXPECT_EQ(vt, m.params[p]) << "parameter " << p;
            }
            info->ReleaseFuncDesc(func);
        }
    }

    ComPtr<ITypeLib> lib_;
};

TEST_F(Contract, Identities) {
    EXPECT_EQ(LIBID_TarnelLib, Guid(kLibId));
    EXPECT_EQ(IID_IBrowserHelperAx, Guid(kInterfaceId));
    EXPECT_EQ(DIID__IBrowserHelperAxEvents, Guid(kEventsId));
    EXPECT_EQ(CLSID_BrowserHelperAx, Guid(kClassId));

    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib_->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, Guid(kLibId));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    lib_->ReleaseTLibAttr(attr);

    const struct {
        const wchar_t* id;
        const wchar_t* name;
        TYPEKIND kind;
    } types[] = {
        {kInterfaceId, L"IBrowserHelperAx",
         TKIND_DISPATCH},  // a dual interface is found as its dispatch half
        {kEventsId, L"_IBrowserHelperAxEvents", TKIND_DISPATCH},
        {kClassId, L"BrowserHelperAx", TKIND_COCLASS},
    };
    for (const auto& t : types) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(t.name)));
        ComPtr<ITypeInfo> info = Info(Guid(t.id));
        ASSERT_TRUE(info);
        TYPEATTR* typeAttr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&typeAttr), S_OK);
        EXPECT_EQ(typeAttr->typekind, t.kind);
        info->ReleaseTypeAttr(typeAttr);
        BStr name;
        EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, name.Put(), nullptr, nullptr, nullptr), S_OK);
        EXPECT_STREQ(name.CStr(), t.name);
    }
}

TEST_F(Contract, ScriptingInterfaceMembers) {
    ComPtr<ITypeInfo> dispatchHalf = Info(Guid(kInterfaceId));
    ASSERT_TRUE(dispatchHalf);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(dispatchHalf->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    dispatchHalf->ReleaseTypeAttr(attr);

    // The method table half: the seven members right after IDispatch's, in this order, with these DISPIDs.
    HREFTYPE ref = 0;
    ASSERT_EQ(dispatchHalf->GetRefTypeOfImplType(-1, &ref), S_OK);
    ComPtr<ITypeInfo> vtableHalf;
    ASSERT_EQ(dispatchHalf->GetRefTypeInfo(ref, vtableHalf.Put()), S_OK);
    ASSERT_EQ(vtableHalf->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);  // marshalled through the type library
    vtableHalf->ReleaseTypeAttr(attr);
    const VARTYPE kOutBstr = VT_BSTR | VT_BYREF;
    ExpectMembers(vtableHalf.Get(), {
                                        {L"GetVersion", 1, INVOKE_FUNC, {kOutBstr}},
                                        {L"Navigate", 2, INVOKE_FUNC, {VT_BSTR}},
                                        {L"GetLocationURL", 3, INVOKE_FUNC, {kOutBstr}},
                                        {L"GetApplication", 4, INVOKE_FUNC, {VT_DISPATCH | VT_BYREF}},
                                        {L"SetOptions", 5, INVOKE_FUNC, {VT_BSTR, VT_I4, VT_I2 | VT_BYREF}},
                                        {L"GetOptions", 6, INVOKE_FUNC, {VT_BSTR, VT_I4 | VT_BYREF}},
                                        {L"Visible", 7, INVOKE_PROPERTYGET, {VT_BOOL | VT_BYREF}},
                                    });
    FUNCDESC* first = nullptr;
    ASSERT_EQ(vtableHalf->GetFuncDesc(0, &first), S_OK);
    EXPECT_EQ(first->oVft, 7 * static_cast<SHORT>(sizeof(void*)));  // after IUnknown's 3 and IDispatch's 4
    vtableHalf->ReleaseFuncDesc(first);
}

TEST_F(Contract, EventInterfaceMembers) {
    ComPtr<ITypeInfo> events = Info(Guid(kEventsId));
    ASSERT_TRUE(events);
    ExpectMembers(events.Get(), {
                                    {L"NavigateComplete", 1, INVOKE_FUNC, {VT_BSTR}},
                                    {L"DocumentComplete", 2, INVOKE_FUNC, {VT_BSTR}},
                                });
}

TEST_F(Contract, ClassOffersTheInterfaceAndItsEvents) {
    ComPtr<ITypeInfo> coclass = Info(Guid(kClassId));
    ASSERT_TRUE(coclass);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
    ASSERT_EQ(attr->cImplTypes, 2);
    coclass->ReleaseTypeAttr(attr);
    const struct {
        const wchar_t* id;
        INT flags;
    } impls[] = {
        {kInterfaceId, IMPLTYPEFLAG_FDEFAULT},
        {kEventsId, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
    };
    for (UINT i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        INT flags = 0;
        EXPECT_EQ(coclass->GetImplTypeFlags(i, &flags), S_OK);
        EXPECT_EQ(flags, impls[i].flags);
        HREFTYPE ref = 0;
        ASSERT_EQ(coclass->GetRefTypeOfImplType(i, &ref), S_OK);
        ComPtr<ITypeInfo> impl;
        ASSERT_EQ(coclass->GetRefTypeInfo(ref, impl.Put()), S_OK);
        TYPEATTR* implAttr = nullptr;
        ASSERT_EQ(impl->GetTypeAttr(&implAttr), S_OK);
        EXPECT_EQ(implAttr->guid, Guid(impls[i].id));
        impl->ReleaseTypeAttr(implAttr);
    }
}

}  // namespace
}  // namespace tarnel

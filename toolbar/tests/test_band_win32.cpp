// The band through real COM and real windows: the library is registered in the test's own prefix, the
// band is made through its registered class factory and given a site of this test's making, whose
// browser is the small page of fake_browser_win32.h.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <exdispid.h>
#include <mshtmdid.h>
#include <servprov.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "toolbar/band_logic.h"
#include "toolbar/document_handler_logic.h"
#include "toolbar/win32/com_guid_win32.h"
#include "toolbar/com_guids.h"
#include "toolbar/tests/fake_browser_win32.h"
#include "toolbar/tests/tagged_jpeg.h"

namespace {

using ServerFunction = HRESULT(__stdcall*)();

HMODULE library = nullptr;

HRESULT CallExport(const char* name) {
    auto function = reinterpret_cast<ServerFunction>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return function != nullptr ? function() : E_NOTIMPL;
}

// Registers the library beside this program for the whole run, and removes it afterwards.
class RegisteredLibrary : public ::testing::Environment {
public:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string dll = path;
        dll = dll.substr(0, dll.find_last_of("\\/") + 1) + "LumenoteToolbar.dll";
        library = LoadLibraryA(dll.c_str());
        ASSERT_NE(library, nullptr) << dll;
        ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
    }
    void TearDown() override {
        EXPECT_EQ(CallExport("DllUnregisterServer"), S_OK);
        FreeLibrary(library);
        CoUninitialize();
    }
};

const auto* const registeredLibrary = ::testing::AddGlobalTestEnvironment(new RegisteredLibrary);

// What the site answers; each failure row of SetSite leaves one of these out.
struct SiteOptions {
    bool oleWindow = true;
    bool validWindow = true;
    bool inputObjectSite = true;
    bool commandTarget = true;
    bool serviceProvider = true;
    bool browser = true;
};

// COM interfaces have no virtual destructor by design.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class TestSite : public IOleWindow,
                 public IInputObjectSite,
                 public IOleCommandTarget,
                 public IServiceProvider {
public:
    TestSite(HWND parentWindow, IWebBrowser2* webBrowser, SiteOptions siteOptions)
        : window(parentWindow), browser(webBrowser), options(siteOptions) {}
    virtual ~TestSite() = default;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IOleWindow*>(this);
        } else if (IsEqualIID(iid, IID_IOleWindow) && options.oleWindow) {
            *out = static_cast<IOleWindow*>(this);
        } else if (IsEqualIID(iid, IID_IInputObjectSite) && options.inputObjectSite) {
            *out = static_cast<IInputObjectSite*>(this);
        } else if (IsEqualIID(iid, IID_IOleCommandTarget) && options.commandTarget) {
            *out = static_cast<IOleCommandTarget*>(this);
        } else if (IsEqualIID(iid, IID_IServiceProvider) && options.serviceProvider) {
            *out = static_cast<IServiceProvider*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references)); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(InterlockedDecrement(&references)); }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* out) override {
        *out = options.validWindow ? window : reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF0));
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }

    // IInputObjectSite
    STDMETHODIMP OnFocusChangeIS(IUnknown*, BOOL) override {
        ++focusChanges;
        return S_OK;
    }

    // IOleCommandTarget
    STDMETHODIMP QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override { return E_NOTIMPL; }
    STDMETHODIMP Exec(const GUID*, DWORD, DWORD, VARIANT*, VARIANT*) override { return E_NOTIMPL; }

    // IServiceProvider
    STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** out) override {
        *out = nullptr;
        if (!IsEqualGUID(service, SID_SWebBrowserApp) || !IsEqualIID(iid, IID_IWebBrowser2) ||
            !options.browser || browser == nullptr) {
            return E_NOINTERFACE;
        }
        browser->AddRef();
        *out = browser;
        return S_OK;
    }

    LONG references = 1;  // the test's own
    int focusChanges = 0;

private:
    HWND window;
    IWebBrowser2* browser;
    SiteOptions options;
};
#pragma GCC diagnostic pop

class BandTest : public ::testing::Test {
protected:
    void SetUp() override {
        page.MakeCurrent();
        parent = CreateWindowExA(0, "STATIC", "band parent", WS_OVERLAPPEDWINDOW, 0, 0, 600, 100, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(parent, nullptr);
        browser = page.Browser();
        ASSERT_EQ(CoCreateInstance(ToGuid(kClsidNotaraTBObj), nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&band)),
                  S_OK);
        band->QueryInterface(IID_IDeskBand, reinterpret_cast<void**>(&deskBand));
        band->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite));
        ASSERT_NE(deskBand, nullptr);
        ASSERT_NE(withSite, nullptr);
    }
    void TearDown() override {
        ReleaseBand();
        if (browser != nullptr) {
            browser->Release();
        }
        DestroyWindow(parent);
    }

    void ReleaseBand() {
        if (withSite != nullptr) {
            withSite->SetSite(nullptr);
            withSite->Release();
            withSite = nullptr;
        }
        if (deskBand != nullptr) {
            deskBand->Release();
            deskBand = nullptr;
        }
        if (band != nullptr) {
            band->Release();
            band = nullptr;
        }
    }

    // Sites live as long as the test's fixture: a band that still holds one is released in TearDown.
    TestSite& MakeSite(HWND window, IWebBrowser2* webBrowser, SiteOptions options) {
        sites.push_back(std::make_unique<TestSite>(window, webBrowser, options));
        return *sites.back();
    }

    HWND Toolbar() {
        HWND window = nullptr;
        deskBand->GetWindow(&window);
        return window;
    }

    // A click on the button as the toolbar reports it: the check state flips, then the command.
    LRESULT Click() {
        HWND toolbar = Toolbar();
        LRESULT state = SendMessageA(toolbar, TB_GETSTATE, kButtonCommand, 0);
        SendMessageA(toolbar, TB_CHECKBUTTON, kButtonCommand, MAKELPARAM((state & TBSTATE_CHECKED) == 0, 0));
        return SendMessageA(GetParent(toolbar), WM_COMMAND, MAKEWPARAM(kButtonCommand, 0),
                            reinterpret_cast<LPARAM>(toolbar));
    }

    std::vector<std::wstring> Displays() {
        std::vector<std::wstring> displays;
        for (fakehtml::Object* span : page.Spans()) {
            std::wstring display = L"(unset)";
            for (const auto& [name, value] : span->style->styleLog) {
                if (name == L"display") {
                    display = value;
                }
            }
            displays.push_back(display);
        }
        return displays;
    }

    // Writes a tagged JPEG into the temp folder and points the page's image at it.
    void ServeTaggedImage() {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        imagePath = std::string(temp) + "lumenote_band_test.jpg";
        std::ofstream out(imagePath, std::ios::binary | std::ios::trunc);
        out << TaggedJpeg(1000, 800, {{"Boat", 100, 50}, {"Lighthouse", 400, 200}});
        out.close();
        std::wstring url = L"file:///";
        for (char c : imagePath) {
            url += c == '\\' ? L'/' : static_cast<wchar_t>(static_cast<unsigned char>(c));
        }
        page.image->src = url;
        page.image->width = 500;
        page.image->height = 400;
        page.image->offsetLeft = 10;
        page.image->offsetTop = 20;
    }

    fakehtml::Page page;
    std::vector<std::unique_ptr<TestSite>> sites;
    HWND parent = nullptr;
    IWebBrowser2* browser = nullptr;
    IUnknown* band = nullptr;
    IDeskBand* deskBand = nullptr;
    IObjectWithSite* withSite = nullptr;
    std::string imagePath;
};

TEST_F(BandTest, AnswersItsInterfacesAndNoInputObject) {
    for (const IID& iid : {IID_IOleWindow, IID_IDockingWindow, IID_IObjectWithSite, IID_IDeskBand,
                           IID_IDispatch, ToGuid(kIidINotaraTBObj)}) {
        IUnknown* face = nullptr;
        EXPECT_EQ(band->QueryInterface(iid, reinterpret_cast<void**>(&face)), S_OK);
        if (face != nullptr) {
            face->Release();
        }
    }
    IUnknown* input = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(band->QueryInterface(IID_IInputObject, reinterpret_cast<void**>(&input)), E_NOINTERFACE);
    EXPECT_EQ(input, nullptr);
}

TEST_F(BandTest, SetSiteFailureRows) {
    struct Row {
        const char* what;
        SiteOptions options;
        HRESULT result;
        bool windows;
        bool attached;
    };
    const Row rows[] = {
        {"no IOleWindow", {false, true, true, true, true, true}, E_FAIL, false, false},
        {"invalid window", {true, false, true, true, true, true}, E_FAIL, false, false},
        {"no IInputObjectSite", {true, true, false, true, true, true}, E_FAIL, true, false},
        {"no command target", {true, true, true, false, true, true}, S_OK, true, false},
        {"no service provider", {true, true, true, true, false, true}, S_OK, true, false},
        {"no browser", {true, true, true, true, true, false}, S_OK, true, false},
        {"complete", {}, S_OK, true, true},
    };
    for (const Row& row : rows) {
        ReleaseBand();
        ASSERT_EQ(CoCreateInstance(ToGuid(kClsidNotaraTBObj), nullptr, CLSCTX_INPROC_SERVER, IID_IDeskBand,
                                   reinterpret_cast<void**>(&deskBand)),
                  S_OK);
        deskBand->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite));
        TestSite& site = MakeSite(parent, browser, row.options);
        EXPECT_EQ(withSite->SetSite(static_cast<IOleWindow*>(&site)), row.result) << row.what;
        EXPECT_EQ(Toolbar() != nullptr, row.windows) << row.what;
        EXPECT_EQ(page.browserEvents->sinks.size(), row.attached ? 1u : 0u) << row.what;
        withSite->SetSite(nullptr);
        EXPECT_EQ(site.references, 1) << row.what;  // the band keeps no reference to a site it left
        ReleaseBand();
        EXPECT_TRUE(page.browserEvents->sinks.empty()) << row.what;
    }
}

TEST_F(BandTest, GetWindowIsTheToolbarWithOneShowButton) {
    EXPECT_EQ(deskBand->GetWindow(nullptr), E_INVALIDARG);
    HWND none = reinterpret_cast<HWND>(1);
    EXPECT_EQ(deskBand->GetWindow(&none), S_OK);
    EXPECT_EQ(none, nullptr);  // no windows before the site

    TestSite& site = MakeSite(parent, browser, {});
    ASSERT_EQ(withSite->SetSite(static_cast<IOleWindow*>(&site)), S_OK);
    HWND toolbar = Toolbar();
    ASSERT_TRUE(IsWindow(toolbar));
    char className[64] = {};
    GetClassNameA(toolbar, className, sizeof className);
    EXPECT_STREQ(className, "NOTARATOOLBAR");
    EXPECT_EQ(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0), 1);
    TBBUTTON button = {};
    ASSERT_TRUE(SendMessageA(toolbar, TB_GETBUTTON, 0, reinterpret_cast<LPARAM>(&button)));
    EXPECT_EQ(button.idCommand, kButtonCommand);
    EXPECT_EQ(button.fsStyle & (BTNS_CHECK | BTNS_AUTOSIZE), BTNS_CHECK | BTNS_AUTOSIZE);
    EXPECT_EQ(button.fsState & TBSTATE_CHECKED, 0);
    char label[32] = {};
    SendMessageA(toolbar, TB_GETBUTTONTEXTA, kButtonCommand, reinterpret_cast<LPARAM>(label));
    EXPECT_STREQ(label, "Show");
    EXPECT_NE(SendMessageA(toolbar, TB_GETIMAGELIST, 0, 0), 0);

    // The hidden host window between the site's window and the toolbar.
    HWND host = GetParent(toolbar);
    EXPECT_EQ(GetParent(host), parent);
    EXPECT_EQ(GetWindowLongA(host, GWL_STYLE) & (WS_CHILD | WS_VISIBLE), WS_CHILD);

    IInputObjectSite* storedSite = nullptr;
    IObjectWithSite* objectWithSite = withSite;
    EXPECT_EQ(objectWithSite->GetSite(IID_IInputObjectSite, reinterpret_cast<void**>(&storedSite)), S_OK);
    ASSERT_NE(storedSite, nullptr);
    storedSite->Release();
    withSite->SetSite(nullptr);
    void* cleared = reinterpret_cast<void*>(1);
    EXPECT_EQ(withSite->GetSite(IID_IUnknown, &cleared), E_FAIL);
    EXPECT_EQ(cleared, nullptr);
    EXPECT_TRUE(IsWindow(toolbar));  // the windows stay until the band goes
    ReleaseBand();
    EXPECT_FALSE(IsWindow(toolbar));
    EXPECT_FALSE(IsWindow(host));
}

TEST_F(BandTest, GetBandInfoValues) {
    DESKBANDINFO info = {};
    info.dwMask = DBIM_MINSIZE | DBIM_ACTUAL | DBIM_BKCOLOR;
    EXPECT_EQ(deskBand->GetBandInfo(7, DBIF_VIEWMODE_NORMAL, &info), S_OK);
    EXPECT_EQ(info.ptMinSize.x, 250);
    EXPECT_EQ(info.ptMinSize.y, 20);
    EXPECT_EQ(info.ptActual.x, 250);
    EXPECT_EQ(info.ptActual.y, 20);
    EXPECT_EQ(info.dwMask, static_cast<DWORD>(DBIM_MINSIZE | DBIM_ACTUAL));

    DESKBANDINFO full = {};
    full.dwMask = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_TITLE | DBIM_MODEFLAGS;
    full.wszTitle[0] = L'x';
    EXPECT_EQ(deskBand->GetBandInfo(7, DBIF_VIEWMODE_NORMAL, &full), S_OK);
    EXPECT_EQ(full.ptMaxSize.x, 0);
    EXPECT_EQ(full.ptMaxSize.y, -1);
    EXPECT_EQ(full.ptIntegral.x, 1);
    EXPECT_EQ(full.ptIntegral.y, 1);
    EXPECT_EQ(full.wszTitle[0], L'\0');
    EXPECT_EQ(full.dwModeFlags, static_cast<DWORD>(DBIMF_VARIABLEHEIGHT));

    EXPECT_EQ(deskBand->GetBandInfo(8, DBIF_VIEWMODE_VERTICAL, nullptr), S_OK);
    IDockingWindow* docking = deskBand;
    EXPECT_EQ(docking->ResizeBorderDW(nullptr, nullptr, FALSE), E_NOTIMPL);
}

TEST_F(BandTest, ShowAndCloseChangeVisibilityButKeepTheWindow) {
    TestSite& site = MakeSite(parent, browser, {});
    ASSERT_EQ(withSite->SetSite(static_cast<IOleWindow*>(&site)), S_OK);
    HWND toolbar = Toolbar();
    EXPECT_EQ(deskBand->ShowDW(TRUE), S_OK);
    EXPECT_NE(GetWindowLongA(toolbar, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(deskBand->CloseDW(0), S_OK);
    EXPECT_TRUE(IsWindow(toolbar));
    EXPECT_EQ(GetWindowLongA(toolbar, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(deskBand->ShowDW(TRUE), S_OK);
    EXPECT_NE(GetWindowLongA(toolbar, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(deskBand->ShowDW(FALSE), S_OK);
    EXPECT_EQ(GetWindowLongA(toolbar, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(deskBand->ContextSensitiveHelp(TRUE), S_OK);
}

TEST_F(BandTest, ButtonAnnotatesOnceThenHidesAndShows) {
    ServeTaggedImage();
    TestSite& site = MakeSite(parent, browser, {});
    ASSERT_EQ(withSite->SetSite(static_cast<IOleWindow*>(&site)), S_OK);

    EXPECT_EQ(Click(), 0);
    EXPECT_EQ(page.document->calls["get_images"], 1);
    EXPECT_EQ(page.image->calls["get_src"], 1);
    ASSERT_EQ(page.Spans().size(), 2u);
    fakehtml::Object* first = page.Spans()[0];
    EXPECT_EQ(first->id, L"LumenoteSpan0");
    EXPECT_EQ(first->text, L"Boat");
    EXPECT_EQ(page.Spans()[1]->id, L"LumenoteSpan1");
    // Shown at 500 x 400 of 1000 x 800: (100, 50) -> (50, 25), plus the image and body offsets.
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {{L"backgroundColor", L"#FFFFAA"},
                                                                         {L"borderWidth", L"1px"},
                                                                         {L"borderStyle", L"solid"},
                                                                         {L"pixelLeft", L"68"},
                                                                         {L"pixelTop", L"53"},
                                                                         {L"fontSize", L"12px"},
                                                                         {L"display", L"none"},
                                                                         {L"position", L"absolute"},
                                                                         {L"display", L""}};
    EXPECT_EQ(first->style->styleLog, expected);
    EXPECT_EQ(Displays(), (std::vector<std::wstring>{L"", L""}));

    EXPECT_EQ(Click(), 0);
    EXPECT_EQ(Displays(), (std::vector<std::wstring>{L"none", L"none"}));

    EXPECT_EQ(Click(), 0);
    EXPECT_EQ(Displays(), (std::vector<std::wstring>{L"", L""}));
    EXPECT_EQ(page.document->calls["get_images"], 1);  // no new pass

    // Not a click of the button: nothing happens.
    HWND toolbar = Toolbar();
    EXPECT_EQ(SendMessageA(GetParent(toolbar), WM_COMMAND, MAKEWPARAM(kButtonCommand, 1),
                           reinterpret_cast<LPARAM>(toolbar)),
              -1);
    EXPECT_EQ(
        SendMessageA(GetParent(toolbar), WM_COMMAND, MAKEWPARAM(203, 0), reinterpret_cast<LPARAM>(toolbar)),
        -1);
    EXPECT_EQ(page.document->calls["get_images"], 1);
    DeleteFileA(imagePath.c_str());
}

TEST_F(BandTest, BrowserEventsReachTheHandler) {
    ServeTaggedImage();
    TestSite& site = MakeSite(parent, browser, {});
    ASSERT_EQ(withSite->SetSite(static_cast<IOleWindow*>(&site)), S_OK);
    ASSERT_EQ(page.browserEvents->sinks.size(), 1u);
    IDispatch* sink = page.browserEvents->sinks.begin()->second;
    EXPECT_EQ(sink->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr,
                           nullptr),
              E_INVALIDARG);

    // Hidden: the load events connect the document once and run no pass.
    page.Fire(page.browserEvents, DISPID_NAVIGATECOMPLETE2);
    page.Fire(page.browserEvents, DISPID_DOCUMENTCOMPLETE);
    EXPECT_EQ(page.documentEvents->sinks.size(), 1u);
    EXPECT_EQ(page.document->calls["get_images"], 0);

    EXPECT_EQ(Click(), 0);  // shown, one pass
    EXPECT_EQ(page.document->calls["get_images"], 1);

    // Shown: every load event runs a pass that replaces the earlier boxes.
    page.Fire(page.browserEvents, DISPID_DOWNLOADCOMPLETE);
    page.Fire(page.browserEvents, DISPID_DOCUMENTCOMPLETE);
    EXPECT_EQ(page.document->calls["get_images"], 3);
    EXPECT_EQ(page.Spans().size(), 2u);
    EXPECT_EQ(page.documentEvents->sinks.size(), 1u);

    page.Fire(page.browserEvents, DISPID_BEFORENAVIGATE2);
    EXPECT_TRUE(page.documentEvents->sinks.empty());
    EXPECT_EQ(Click(), 0);  // hidden
    EXPECT_EQ(Click(), 0);  // not annotated since the navigation: a new pass, then shown
    EXPECT_EQ(page.document->calls["get_images"], 4);
    EXPECT_EQ(Displays(), (std::vector<std::wstring>{L"", L""}));
    DeleteFileA(imagePath.c_str());
}

TEST_F(BandTest, ContextMenuOverTheImageCopiesItToTheTempFolder) {
    ServeTaggedImage();
    TestSite& site = MakeSite(parent, browser, {});
    ASSERT_EQ(withSite->SetSite(static_cast<IOleWindow*>(&site)), S_OK);
    page.Fire(page.browserEvents, DISPID_DOCUMENTCOMPLETE);
    ASSERT_EQ(page.documentEvents->sinks.size(), 1u);
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string copy = std::string(temp) + kContextImageFileName;
    DeleteFileA(copy.c_str());

    page.eventSource = page.body;  // over text: nothing
    page.Fire(page.documentEvents, kDispIdContextMenu);
    EXPECT_EQ(GetFileAttributesA(copy.c_str()), INVALID_FILE_ATTRIBUTES);

    page.eventSource = page.image;
    page.Fire(page.documentEvents, kDispIdContextMenu);
    std::ifstream in(copy, std::ios::binary);
    std::string copied((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::ifstream original(imagePath, std::ios::binary);
    std::string served((std::istreambuf_iterator<char>(original)), std::istreambuf_iterator<char>());
    original.close();
    EXPECT_FALSE(copied.empty());
    EXPECT_EQ(copied, served);
    DeleteFileA(copy.c_str());
    DeleteFileA(imagePath.c_str());
}

TEST_F(BandTest, SecondSiteMovesTheWindowsInsteadOfMakingNewOnes) {
    HWND otherParent = CreateWindowExA(0, "STATIC", "other parent", WS_OVERLAPPEDWINDOW, 0, 0, 400, 80,
                                       nullptr, nullptr, nullptr, nullptr);
    TestSite& first = MakeSite(parent, browser, {});
    TestSite& second = MakeSite(otherParent, browser, {});
    ASSERT_EQ(withSite->SetSite(static_cast<IOleWindow*>(&first)), S_OK);
    HWND toolbar = Toolbar();
    HWND host = GetParent(toolbar);
    ASSERT_EQ(withSite->SetSite(static_cast<IOleWindow*>(&second)), S_OK);
    EXPECT_EQ(Toolbar(), toolbar);
    EXPECT_EQ(GetParent(toolbar), host);
    EXPECT_EQ(GetParent(host), otherParent);
    EXPECT_EQ(FindWindowExA(parent, nullptr, nullptr, nullptr), nullptr);  // nothing left under the first
    EXPECT_EQ(first.references, 1);
    EXPECT_EQ(page.browserEvents->sinks.size(), 1u);  // one connection, not two
    ReleaseBand();
    DestroyWindow(otherParent);
}

TEST_F(BandTest, LibraryCanUnloadOnlyAfterTheBandIsGone) {
    TestSite& site = MakeSite(parent, browser, {});
    ASSERT_EQ(withSite->SetSite(static_cast<IOleWindow*>(&site)), S_OK);
    page.Fire(page.browserEvents, DISPID_DOCUMENTCOMPLETE);
    HMODULE loaded = GetModuleHandleA("LumenoteToolbar.dll");
    ASSERT_NE(loaded, nullptr);
    auto canUnload =
        reinterpret_cast<ServerFunction>(reinterpret_cast<void*>(GetProcAddress(loaded, "DllCanUnloadNow")));
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_FALSE);
    ReleaseBand();
    EXPECT_TRUE(page.browserEvents->sinks.empty());
    EXPECT_TRUE(page.documentEvents->sinks.empty());
    EXPECT_EQ(canUnload(), S_OK);
    EXPECT_EQ(site.references, 1);
}

}  // namespace

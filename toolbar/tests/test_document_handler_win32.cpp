// The DocumentHandler COM class under Wine when its page model fails: an exception thrown inside a pass
// must come back from the real Invoke as a result code, leave no working file, and leave the handler
// able to run the next pass. The page is the small fake page of fake_browser_win32.h; its image is served
// by download_server.py (VELLUMAR_TEST_HTTP).
#include <windows.h>
#include <exdispid.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "foundation/win32/handles.h"
#include "toolbar/tests/com_test_support_win32.h"
#include "toolbar/win32/document_handler.h"
#include "toolbar/tests/fake_browser_win32.h"

namespace {

// The browser's page model, except that its first download runs out of memory once it has written the
// working file.
class ThrowingPageModel : public Win32PageModel {
public:
    explicit ThrowingPageModel(IDispatch* sink) : Win32PageModel(sink) {}

    PageResult DownloadToFile(const std::string& url, const std::string& path, DownloadExtent extent,
                              const DownloadCancelled& cancelled) override {
        const PageResult result = Win32PageModel::DownloadToFile(url, path, extent, cancelled);
        if (!thrown) {
            thrown = true;
            throw std::bad_alloc();
        }
        return result;
    }

private:
    bool thrown = false;
};

std::unique_ptr<Win32PageModel> MakeThrowingPageModel(IDispatch* sink) {
    return std::make_unique<ThrowingPageModel>(sink);
}

// Working files of this process left in the temp folder.
int WorkingFiles() {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string pattern =
        std::string(temp) + "file-" + std::to_string(GetCurrentProcessId()) + "-*.jpg";
    WIN32_FIND_DATAA found;
    const FindHandle find(FindFirstFileA(pattern.c_str(), &found));
    int count = 0;
    if (find) {
        do {
            ++count;
        } while (FindNextFileA(find.Get(), &found));
    }
    return count;
}

TEST(DocumentHandlerCom, ExceptionInAPassComesBackFromInvokeAsAResult) {
    testsupport::ComApartment apartment;
    ASSERT_TRUE(SUCCEEDED(apartment.result));
    const char* server = std::getenv("VELLUMAR_TEST_HTTP");
    ASSERT_NE(server, nullptr) << "run through page_check.sh, which starts the test server";

    fakehtml::Page page;
    page.MakeCurrent();
    page.image->src = testsupport::Widen(std::string(server) + "/tagged.jpg");
    IWebBrowser2* browser = page.Browser();

    auto* handler = new DocumentHandler(MakeThrowingPageModel);
    ASSERT_EQ(handler->AttachBrowser(browser), S_OK);
    handler->Captions().ShowCaptions();
    ASSERT_EQ(page.browserEvents->sinks.size(), 1u);
    IDispatch* sink = page.browserEvents->sinks.begin()->second;
    DISPPARAMS noArguments = {nullptr, nullptr, 0, 0};
    auto fire = [&] {
        return sink->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                            &noArguments, nullptr, nullptr, nullptr);
    };

    EXPECT_EQ(fire(), E_OUTOFMEMORY);
    EXPECT_TRUE(page.Spans().empty());
    EXPECT_FALSE(handler->Captions().Annotated());
    EXPECT_EQ(WorkingFiles(), 0);

    // The pass that failed left nothing behind that stops the next one.
    EXPECT_EQ(fire(), S_OK);
    EXPECT_FALSE(page.Spans().empty());
    EXPECT_TRUE(handler->Captions().Annotated());
    EXPECT_EQ(WorkingFiles(), 0);

    handler->DisconnectBrowserEvents();
    EXPECT_TRUE(page.browserEvents->sinks.empty());
    handler->Release();
    browser->Release();
}

}  // namespace

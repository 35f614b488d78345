#include "cli/serve/photo_server.h"

#include <httplib.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <set>

#include "taglib/codepage.h"
#include "taglib/image_tags.h"
#include "cli/serve/index_catalog.h"
#include "cli/serve/photo_file.h"
#include "cli/tags_json.h"

// The search page, compiled in from serve/page/search.html.
extern const unsigned char kSearchPage[];
extern const size_t kSearchPageSize;

namespace {

using Json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;

constexpr size_t kDefaultLimit = 100;
constexpr size_t kMaxLimit = 1000;
constexpr size_t kStreamChunk = size_t{64} * 1024;
constexpr size_t kLoggedTargetLength = 200;  // a 100 KB query would otherwise flood the log
constexpr time_t kKeepAliveSeconds = 2;      // an idle browser connection holds one worker that long
// A worker serves a kept-alive connection until it closes or has sent this many answers, while the
// connections behind it wait: a small number keeps the waits of many clients alike.
constexpr size_t kAnswersPerConnection = 1;

// The page inserts every text of the index as text, never as markup; the policy makes sure that no
// script but the page's own runs and nothing leaves this server.
constexpr const char* kPagePolicy =
    "default-src 'none'; img-src 'self' data:; style-src 'unsafe-inline'; script-src 'unsafe-inline'; "
    "connect-src 'self'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'";

thread_local Clock::time_point requestStart{};

const char* StatusText(int status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 414:
            return "URI Too Long";
        case 415:
            return "Unsupported Media Type";
        case 416:
            return "Range Not Satisfiable";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Error";
    }
}

// What a request that no handler answered, or that failed before one could, is told.
std::string DefaultMessage(int status) {
    switch (status) {
        case 404:
            return "There is nothing at this address. Photos are reached by their id, e.g. "
                   "/api/photo/ID/image.";
        case 414:
            return "The address is too long. Searches longer than about 8000 bytes are not taken.";
        case 400:
            return "The request could not be understood.";
        default:
            return StatusText(status);
    }
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string JsonText(const Json& body) {
    return body.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool IsApiPath(const std::string& path) {
    return path.rfind("/api/", 0) == 0;
}

// An error answer: JSON {"error": ...} under /api/, a small page elsewhere.
void SendError(const httplib::Request& request, httplib::Response& response, int status,
               const std::string& message) {
    response.status = status;
    if (IsApiPath(request.path)) {
        response.set_content(JsonText(Json{{"error", message}}), "application/json");
        return;
    }
    const std::string title = std::to_string(status) + " " + StatusText(status);
    response.set_content("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + title +
                             "</title></head>\n<body style=\"font:14px sans-serif;margin:2em\"><h1>" + title +
                             "</h1>\n<p>" + HtmlEscape(message) +
                             "</p>\n<p><a href=\"/\">Search the index</a></p></body></html>\n",
                         "text/html; charset=utf-8");
}

int StatusCode(IndexState state) {
    switch (state) {
        case IndexState::kReady:
            return 200;
        case IndexState::kMissing:
        case IndexState::kChanging:
            return 503;
        case IndexState::kUnreadable:
        case IndexState::kDamaged:
            return 500;
    }
    return 500;
}

const char* StateName(IndexState state) {
    switch (state) {
        case IndexState::kReady:
            return "ready";
        case IndexState::kMissing:
            return "missing";
        case IndexState::kUnreadable:
            return "unreadable";
        case IndexState::kDamaged:
            return "damaged";
        case IndexState::kChanging:
            return "changing";
    }
    return "unreadable";
}

void SendIndexProblem(const httplib::Request& request, httplib::Response& response,
                      const IndexStatus& status) {
    SendError(request, response, StatusCode(status.state), status.message);
    if (status.state == IndexState::kChanging || status.state == IndexState::kMissing) {
        response.set_header("Retry-After", "1");
    }
}

template <typename Number>
bool ParseNumber(const std::string& text, Number& value) {
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && !text.empty();
}

// A request line or header as the log shows it: printable ASCII, everything else as \xHH.
std::string Printable(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, kLoggedTargetLength)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    if (text.size() > kLoggedTargetLength) {
        out += "...";
    }
    return out;
}

}  // namespace

bool IsLoopbackAddress(const std::string& address) {
    return address == "localhost" || address == "::1" || address == "[::1]" || address.rfind("127.", 0) == 0;
}

struct PhotoServer::Impl {
    Impl(IndexCatalog& catalogIn, std::FILE* logIn) : catalog(catalogIn), log(logIn) {}

    void Route();
    bool HostAllowed(const httplib::Request& request) const;
    void AnswerPage(const httplib::Request& request, httplib::Response& response);
    void AnswerStatus(const httplib::Request& request, httplib::Response& response);
    void AnswerSearch(const httplib::Request& request, httplib::Response& response);
    void AnswerPhoto(const httplib::Request& request, httplib::Response& response);
    void AnswerTags(const httplib::Request& request, httplib::Response& response, const IndexRecord& record);
    void AnswerFile(const httplib::Request& request, httplib::Response& response, const std::string& path,
                    PhotoFileKind kind);
    void Log(const httplib::Request& request, const httplib::Response& response) const;

    IndexCatalog& catalog;
    std::FILE* log;
    httplib::Server server;
    std::string address;
    int port = 0;
    std::set<std::string> allowedHosts;  // empty: any Host header
};

void PhotoServer::Impl::Route() {
    // The library's default would let a second server take the same port and share its connections;
    // a port in use must make the second one fail instead.
    server.set_socket_options([](socket_t socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server.set_keep_alive_timeout(kKeepAliveSeconds);
    server.set_keep_alive_max_count(kAnswersPerConnection);
    server.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                                {"Cache-Control", "no-store"},
                                {"Referrer-Policy", "no-referrer"}});
    server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        requestStart = Clock::now();
        if (!HostAllowed(request)) {
            SendError(request, response, 403,
                      "This server answers only requests addressed to " + address + ":" +
                          std::to_string(port) + ".");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.Get("/", [this](const httplib::Request& request, httplib::Response& response) {
        AnswerPage(request, response);
    });
    server.Get("/api/status", [this](const httplib::Request& request, httplib::Response& response) {
        AnswerStatus(request, response);
    });
    server.Get("/api/search", [this](const httplib::Request& request, httplib::Response& response) {
        AnswerSearch(request, response);
    });
    server.Get(R"(/api/photo/(\d{1,19})/(tags|image|thumbnail))",
               [this](const httplib::Request& request, httplib::Response& response) {
                   AnswerPhoto(request, response);
               });
    // Every answer of 400 and above that no handler wrote (no route, a malformed or over-long request)
    // gets a body that says what happened.
    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request& request, httplib::Response& response) {
            if (!response.body.empty() || response.has_header("Content-Length")) {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            SendError(request, response, response.status, DefaultMessage(response.status));
            return httplib::Server::HandlerResponse::Handled;
        }));
    server.set_exception_handler(
        [](const httplib::Request& request, httplib::Response& response, const std::exception_ptr&) {
            SendError(request, response, 500, "The server could not answer this request.");
        });
    server.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        Log(request, response);
    });
}

bool PhotoServer::Impl::HostAllowed(const httplib::Request& request) const {
    // A web page elsewhere could otherwise reach this server through a name of its own that resolves to
    // this computer, and read the index.
    if (allowedHosts.empty()) {
        return true;
    }
    const size_t count = request.get_header_value_count("Host");
    for (size_t i = 0; i < count; ++i) {
        if (allowedHosts.count(request.get_header_value("Host", i)) == 0) {
            return false;
        }
    }
    return true;
}

void PhotoServer::Impl::AnswerPage(const httplib::Request&, httplib::Response& response) {
    // The page is the same in every case; its status tells whether the index can be searched, and the
    // page shows why not from the search's answer.
    response.status = StatusCode(catalog.Status().state);
    response.set_header("Content-Security-Policy", kPagePolicy);
    response.set_content(reinterpret_cast<const char*>(kSearchPage), kSearchPageSize,
                         "text/html; charset=utf-8");
}

void PhotoServer::Impl::AnswerStatus(const httplib::Request&, httplib::Response& response) {
    const IndexStatus status = catalog.Status();
    response.status = StatusCode(status.state);
    Json body{{"index", ToUtf8Lossy(catalog.IndexPath(), kCodePageUtf8)},
              {"state", StateName(status.state)},
              {"records", status.records}};
    if (!status.message.empty()) {
        body["error"] = status.message;
    }
    response.set_content(JsonText(body), "application/json");
}

void PhotoServer::Impl::AnswerSearch(const httplib::Request& request, httplib::Response& response) {
    if (!request.has_param("q")) {
        SendError(request, response, 400, "The search text is missing: /api/search?q=TEXT.");
        return;
    }
    uint64_t start = 0;
    size_t limit = kDefaultLimit;
    if (request.has_param("start") && !ParseNumber(request.get_param_value("start"), start)) {
        SendError(request, response, 400, "start must be a number of hits to skip.");
        return;
    }
    if (request.has_param("limit") &&
        (!ParseNumber(request.get_param_value("limit"), limit) || limit > kMaxLimit)) {
        SendError(request, response, 400,
                  "limit must be a number of hits from 0 to " + std::to_string(kMaxLimit) + ".");
        return;
    }
    const std::string query = request.get_param_value("q");
    SearchAnswer answer = catalog.Search(query, start, limit);
    if (answer.status.state != IndexState::kReady) {
        SendIndexProblem(request, response, answer.status);
        return;
    }
    const int codePage = catalog.CodePage();
    Json hits = Json::array();
    for (const CatalogHit& hit : answer.hits) {
        Json layers = Json::array();
        for (const std::string& name : hit.record.layers) {
            layers.push_back(ToUtf8Lossy(name, codePage));
        }
        hits.push_back(Json{{"id", hit.id},
                            {"path", ToUtf8Lossy(hit.record.path, codePage)},
                            {"thumbnail", ToUtf8Lossy(hit.record.thumbnail, codePage)},
                            {"caption", ToUtf8Lossy(hit.record.caption, codePage)},
                            {"layers", std::move(layers)}});
    }
    const Json body{{"query", ToUtf8Lossy(query, kCodePageUtf8)},
                    {"count", answer.count},
                    {"start", start},
                    {"limit", limit},
                    {"milliseconds", std::round(answer.milliseconds * 100) / 100},
                    {"hits", std::move(hits)}};
    response.set_content(JsonText(body), "application/json");
}

void PhotoServer::Impl::AnswerPhoto(const httplib::Request& request, httplib::Response& response) {
    int64_t id = 0;
    if (!ParseNumber(request.matches[1].str(), id)) {
        SendError(request, response, 404, "There is no photo with this id.");
        return;
    }
    IndexRecord record;
    IndexStatus status;
    switch (catalog.Find(id, record, status)) {
        case PhotoLookup::kIndexProblem:
            SendIndexProblem(request, response, status);
            return;
        case PhotoLookup::kNoSuchPhoto:
            SendError(request, response, 404,
                      "There is no photo with the id " + std::to_string(id) +
                          " in the index (it may have been removed since the search).");
            return;
        case PhotoLookup::kFound:
            break;
    }
    const std::string what = request.matches[2].str();
    if (what == "tags") {
        AnswerTags(request, response, record);
    } else if (what == "image") {
        AnswerFile(request, response, record.path, PhotoFileKind::kJpeg);
    } else if (record.thumbnail.empty()) {
        SendError(request, response, 404, "This photo has no thumbnail in the index.");
    } else {
        AnswerFile(request, response, record.thumbnail, PhotoFileKind::kBitmap);
    }
}

void PhotoServer::Impl::AnswerTags(const httplib::Request& request, httplib::Response& response,
                                   const IndexRecord& record) {
    int32_t width = 0;
    int32_t height = 0;
    const bool display = request.has_param("display");
    if (display && !ParseDisplaySize(request.get_param_value("display"), width, height)) {
        SendError(request, response, 400, "display must be WIDTHxHEIGHT, e.g. 640x480.");
        return;
    }
    // The file is looked at first, so that a pipe or a huge file that is not a JPEG is never read.
    PhotoFile file;
    switch (file.Open(record.path, PhotoFileKind::kJpeg)) {
        case PhotoFileOpen::kOpened:
            break;
        case PhotoFileOpen::kMissing:
            SendError(request, response, 404, "The photo file of this record cannot be opened.");
            return;
        case PhotoFileOpen::kNotRegular:
        case PhotoFileOpen::kWrongKind:
            SendError(request, response, 415, "The file of this record is not a JPEG file.");
            return;
    }
    ImageTags tags;
    // The tags sit in the segments before the image: the picture itself is not read.
    const bool loaded = tags.Load(record.path.c_str(), kLoadMetadata);
    if (display) {
        tags.SetDisplaySize(width, height);
    }
    response.set_content(TagsJson(record.path, loaded, tags), "application/json");
}

void PhotoServer::Impl::AnswerFile(const httplib::Request& request, httplib::Response& response,
                                   const std::string& path, PhotoFileKind kind) {
    auto file = std::make_shared<PhotoFile>();
    switch (file->Open(path, kind)) {
        case PhotoFileOpen::kOpened:
            break;
        case PhotoFileOpen::kMissing:
            SendError(request, response, 404,
                      kind == PhotoFileKind::kJpeg ? "The photo file of this record cannot be opened."
                                                   : "The thumbnail file of this record cannot be opened.");
            return;
        case PhotoFileOpen::kNotRegular:
        case PhotoFileOpen::kWrongKind:
            SendError(request, response, 415,
                      kind == PhotoFileKind::kJpeg ? "The file of this record is not a JPEG file."
                                                   : "The thumbnail of this record is not a bitmap file.");
            return;
    }
    const auto size = static_cast<size_t>(file->Size());
    // Read in pieces as the connection takes them; a file that shrinks meanwhile ends the answer.
    response.set_content_provider(size, kind == PhotoFileKind::kJpeg ? "image/jpeg" : "image/bmp",
                                  [file](size_t offset, size_t length, httplib::DataSink& sink) {
                                      char buffer[kStreamChunk];
                                      const int64_t got = file->Read(static_cast<int64_t>(offset), buffer,
                                                                     std::min(length, sizeof buffer));
                                      return got > 0 && sink.write(buffer, static_cast<size_t>(got));
                                  });
}

void PhotoServer::Impl::Log(const httplib::Request& request, const httplib::Response& response) const {
    if (log == nullptr) {
        return;
    }
    char elapsed[32] = "-";
    if (requestStart != Clock::time_point{}) {
        std::snprintf(elapsed, sizeof elapsed, "%.1f ms",
                      std::chrono::duration<double, std::milli>(Clock::now() - requestStart).count());
        requestStart = Clock::time_point{};
    }
    const std::string method = request.method.empty() ? "-" : Printable(request.method);
    const std::string target = request.target.empty() ? "-" : Printable(request.target);
    const std::string bytes =
        response.has_header("Content-Length") ? response.get_header_value("Content-Length") : "-";
    std::fprintf(log, "%s \"%s %s\" %d %s %s\n",
                 request.remote_addr.empty() ? "-" : request.remote_addr.c_str(), method.c_str(),
                 target.c_str(), response.status, bytes.c_str(), elapsed);
    std::fflush(log);
}

PhotoServer::PhotoServer(IndexCatalog& catalog, std::FILE* log) : impl(std::make_unique<Impl>(catalog, log)) {
    impl->Route();
}

PhotoServer::~PhotoServer() = default;

bool PhotoServer::Bind(const std::string& address, int port, std::string& error) {
    errno = 0;
    const int bound = port == 0 ? impl->server.bind_to_any_port(address)
                                : (impl->server.bind_to_port(address, port) ? port : -1);
    if (bound <= 0) {
        error = "cannot listen on " + address + " port " + std::to_string(port);
        if (errno != 0) {
            error += ": " + std::string(std::strerror(errno));
        }
        return false;
    }
    impl->address =
        address.find(':') != std::string::npos && address.front() != '[' ? "[" + address + "]" : address;
    impl->port = bound;
    impl->allowedHosts.clear();
    if (IsLoopbackAddress(address)) {
        for (const std::string& host :
             {impl->address, std::string("localhost"), std::string("127.0.0.1"), std::string("[::1]")}) {
            impl->allowedHosts.insert(host);
            impl->allowedHosts.insert(host + ":" + std::to_string(bound));
        }
    }
    return true;
}

int PhotoServer::Port() const {
    return impl->port;
}

std::string PhotoServer::Url() const {
    return "http://" + impl->address + ":" + std::to_string(impl->port) + "/";
}

void PhotoServer::Run() {
    impl->server.listen_after_bind();
}

void PhotoServer::Stop() {
    impl->server.stop();
}

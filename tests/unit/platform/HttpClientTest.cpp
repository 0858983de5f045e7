#include "platform/HttpClient.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <thread>

using namespace glowmere::platform;
using namespace std::chrono_literals;

namespace {

HttpRequest request(std::string method, std::string url, std::optional<std::string> body = std::nullopt) {
    HttpRequest r;
    r.method = std::move(method);
    r.url = std::move(url);
    r.body = std::move(body);
    return r;
}

class LocalServer {
public:
    LocalServer() {
        server.Put("/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.method + " " + req.get_header_value("Content-Type") + " " + req.body, "text/plain");
        });
        server.Get("/slow", [](const httplib::Request&, httplib::Response& res) {
            std::this_thread::sleep_for(1500ms);
            res.set_content("late", "text/plain");
        });
        server.Get("/port", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(std::to_string(req.remote_port), "text/plain");
        });
        server.Get("/endless", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain", [](std::size_t, httplib::DataSink& sink) {
                static const std::string chunk(65536, 'x');
                return sink.write(chunk.data(), chunk.size());
            });
        });
        server.Get("/status", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("<html>oops</html>", "text/html");
        });
        // The client keeps its connection open; stopping waits out the
        // server's keep-alive, so keep it short.
        server.set_keep_alive_timeout(1);
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running()) std::this_thread::sleep_for(1ms);
    }
    ~LocalServer() {
        server.stop();
        thread.join();
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }

    httplib::Server server;
    int port = 0;
    std::thread thread;
};

TEST(CurlHttpClient, SendsMethodAndBodyAndGivesTheReply) {
    LocalServer server;
    CurlHttpClient http;
    auto reply = http.send(request("PUT", server.url("/echo"), R"({"on":true})"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    EXPECT_EQ(reply->body, R"(PUT application/json {"on":true})");

    auto error = http.send(request("GET", server.url("/status")));
    ASSERT_TRUE(error);  // an error page is still a reply
    EXPECT_EQ(error->status, 500);
}

TEST(CurlHttpClient, ARefusedConnectionFailsAtOnce) {
    int port;
    {
        LocalServer server;
        port = server.port;
    }  // nothing listens there any more
    CurlHttpClient http;
    std::string error;
    auto begin = std::chrono::steady_clock::now();
    auto reply = http.send(request("GET", "http://127.0.0.1:" + std::to_string(port) + "/api"), &error);
    EXPECT_FALSE(reply);
    EXPECT_FALSE(error.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);  // far below the 30 s time-out
}

TEST(CurlHttpClient, GivesUpAtTheTimeOut) {
    LocalServer server;
    CurlHttpClient http;
    HttpRequest slow = request("GET", server.url("/slow"));
    slow.timeout = 200ms;
    HttpError error;
    EXPECT_FALSE(http.send(slow, &error));
    EXPECT_EQ(error.kind, HttpError::Kind::TimedOut);
}

TEST(CurlHttpClient, KeepsOneConnectionPerThreadAndCutsOffAnEndlessReply) {
    LocalServer server;
    CurlHttpClient http;
    auto first = http.send(request("GET", server.url("/port")));
    auto second = http.send(request("GET", server.url("/port")));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->body, second->body) << "the second request came over the first one's connection";

    HttpRequest endless = request("GET", server.url("/endless"));
    endless.maxReplyBytes = 1u << 20;
    HttpError error;
    EXPECT_FALSE(http.send(endless, &error));
    EXPECT_EQ(error.kind, HttpError::Kind::TooLarge);
    EXPECT_TRUE(http.send(request("GET", server.url("/port")))) << "the handle serves on after a cut-off";
}

TEST(Utf8, InvalidBytesAreReplacedAndValidTextIsKept) {
    EXPECT_EQ(sanitizeUtf8("Küche 客厅 💡"), "Küche 客厅 💡");
    EXPECT_EQ(sanitizeUtf8("a\xFF"
                           "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(sanitizeUtf8("\xC3"), "\xEF\xBF\xBD");                  // cut short
    EXPECT_EQ(sanitizeUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong
}

}  // namespace

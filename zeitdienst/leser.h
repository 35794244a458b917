// Beast's request parser, keeping only what the answer and the log need: the method, the target and
// the version. No header field is stored and any body is dropped as it comes, so a request costs no
// allocation once the connection's strings have their size.
// SPDX-License-Identifier: MIT
#pragma once

#include <utility>  // before Asio: its coroutine header uses std::exchange without it

#include <boost/beast/http/basic_parser.hpp>
#include <string>

namespace zeitdienst {

namespace http = boost::beast::http;

// Request bodies are read and dropped; a longer one gets 413.
inline constexpr std::size_t kRumpfHoechstens = 64 * 1024;

class Leser : public http::basic_parser<true> {
public:
    // `ziel` and `methode_text` belong to the connection, so their memory is kept from one request to the next.
    Leser(std::size_t kopf_hoechstens, std::string& ziel, std::string& methode_text)
        : ziel_(ziel), methode_text_(methode_text) {
        header_limit(static_cast<std::uint32_t>(kopf_hoechstens));
        body_limit(kRumpfHoechstens);
        eager(true);
    }

    http::verb methode = http::verb::unknown;
    unsigned version = 11;

private:
    using string_view = boost::beast::string_view;
    using error_code = boost::beast::error_code;

    void on_request_impl(http::verb v, string_view methode_text, string_view ziel, int version_, error_code&) override {
        methode = v;
        methode_text_.assign(methode_text.data(), methode_text.size());
        ziel_.assign(ziel.data(), ziel.size());
        version = static_cast<unsigned>(version_);
    }
    void on_response_impl(int, string_view, int, error_code&) override {}
    void on_field_impl(http::field, string_view, string_view, error_code&) override {}
    void on_header_impl(error_code&) override {}
    void on_body_init_impl(const boost::optional<std::uint64_t>&, error_code&) override {}
    std::size_t on_body_impl(string_view rumpf, error_code&) override { return rumpf.size(); }
    void on_chunk_header_impl(std::uint64_t, string_view, error_code&) override {}
    std::size_t on_chunk_body_impl(std::uint64_t, string_view rumpf, error_code&) override { return rumpf.size(); }
    void on_finish_impl(error_code&) override {}

    std::string& ziel_;
    std::string& methode_text_;
};

}  // namespace zeitdienst

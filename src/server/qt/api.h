// The HTTP API and the web page's files: what each request gets. Requests
// arrive here already let in (access is the HTTP server's); a command's
// response waits for the unit's answer.
//
//   GET  /                 the front panel page (and its files)
//   GET  /api/state        the unit's state (state_json.h)
//   GET  /api/panel        the front panel's areas, for the page
//   POST /api/tune         {"khz": 14200, "direction": "normal"}  (either may be left out,
//                          not both; direction also 0, 1, 2)
//   POST /api/band         {"band": "20"}
//   POST /api/step         {"khz": -25}
//   POST /api/retract
//   POST /api/setup[?force=1]   the set-up file as the body
#pragma once

#include "server/http_request.h"

#include <QByteArray>
#include <QList>
#include <QPair>

#include <functional>

namespace server {

class Station;

struct Response {
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
};
using Respond = std::function<void(Response)>;

// {"error": error, "reason": reason} with the status.
Response ErrorResponse(int status, const QByteArray& error, const QString& reason);

class Api {
public:
    explicit Api(Station& station) : station_(station) {}
    // respond is called once, possibly later.
    void Handle(const http::Request& request, Respond respond);

private:
    void Command(std::uint8_t command, const QByteArray& argument, Respond respond);
    void Tune(const http::Request& request, Respond respond);
    void Band(const http::Request& request, Respond respond);
    void Step(const http::Request& request, Respond respond);
    void Setup(const http::Request& request, Respond respond);

    Station& station_;
};

} // namespace server

#include "server/qt/api.h"

#include "protocol/commands.h"
#include "protocol/front_panel.h"
#include "server/api_values.h"
#include "server/qt/state_json.h"
#include "server/qt/station.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace server {

namespace {

struct StaticFile {
    const char* path;
    const char* resource;
    const char* contentType;
};

constexpr StaticFile kFiles[] = {
    {"/", ":/web/index.html", "text/html; charset=utf-8"},
    {"/index.html", ":/web/index.html", "text/html; charset=utf-8"},
    {"/panel.css", ":/web/panel.css", "text/css; charset=utf-8"},
    {"/panel.js", ":/web/panel.js", "text/javascript; charset=utf-8"},
    {"/panel.jpg", ":/assets/panel.jpg", "image/jpeg"},
    {"/marker.jpg", ":/assets/marker.jpg", "image/jpeg"},
    {"/icon.png", ":/assets/icon128.png", "image/png"},
};

Response Json(int status, const QJsonObject& object) {
    Response r;
    r.status = status;
    r.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return r;
}

Response MethodNotAllowed(const QByteArray& allow) {
    Response r = ErrorResponse(405, "method not allowed", QStringLiteral("use ") + allow);
    r.headers.append(qMakePair(QByteArray("Allow"), QByteArray(allow)));
    return r;
}

// The request's JSON object, or the response that refuses it.
std::optional<QJsonObject> JsonBody(const http::Request& request, const Respond& respond,
                                    bool mayBeEmpty) {
    if (request.body.empty() && mayBeEmpty)
        return QJsonObject{};
    const std::string* type = request.Header("content-type");
    if (type == nullptr || type->substr(0, type->find(';')) != "application/json") {
        respond(ErrorResponse(415, "unsupported media type",
                              QStringLiteral("send Content-Type: application/json")));
        return std::nullopt;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(request.body.data(), static_cast<qsizetype>(request.body.size())),
        &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        respond(ErrorResponse(400, "bad request",
                              error.error != QJsonParseError::NoError
                                  ? QStringLiteral("not JSON: ") + error.errorString()
                                  : QStringLiteral("the body must be a JSON object")));
        return std::nullopt;
    }
    return document.object();
}

// A whole number within [low, high].
std::optional<std::int64_t> Whole(const QJsonValue& value, std::int64_t low, std::int64_t high) {
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::floor(d) != d || d < static_cast<double>(low) ||
        d > static_cast<double>(high))
        return std::nullopt;
    return static_cast<std::int64_t>(d);
}

QJsonObject PlaceJson(int x, int y, int width, int height) {
    return QJsonObject{{QStringLiteral("x"), x},
                       {QStringLiteral("y"), y + koravel::kPanelPictureTop},
                       {QStringLiteral("width"), width},
                       {QStringLiteral("height"), height}};
}

QJsonObject PlaceJson(const koravel::PanelRect& r) {
    return PlaceJson(r.x, r.y, r.width, r.height);
}

// The front panel as the window lays it out, in the picture's pixels.
QJsonObject PanelJson() {
    QJsonArray areas;
    for (const koravel::PanelArea& area : koravel::kPanelAreas) {
        using Action = koravel::PanelArea::Action;
        const char* action = "";
        switch (area.action) {
        case Action::Band:
            action = "band";
            break;
        case Action::StepDown:
        case Action::StepUp:
            action = "step";
            break;
        case Action::Direction:
            action = "direction";
            break;
        case Action::Retract:
            action = "retract";
            break;
        case Action::Close:
            continue; // the window's own: a page has nothing to close
        }
        QJsonObject o = PlaceJson(area.x, area.y, area.width, area.height);
        o[QStringLiteral("action")] = QString::fromLatin1(action);
        o[QStringLiteral("label")] =
            QString::fromUtf8(area.label.data(), static_cast<qsizetype>(area.label.size()));
        if (area.action == Action::Band)
            o[QStringLiteral("band")] = QString::number(area.value);
        if (area.action == Action::StepDown || area.action == Action::StepUp)
            o[QStringLiteral("khz")] =
                area.action == Action::StepUp ? koravel::kArrowStepKhz : -koravel::kArrowStepKhz;
        if (area.action == Action::Direction)
            o[QStringLiteral("direction")] =
                QString::fromLatin1(DirectionText(static_cast<std::uint8_t>(area.value)));
        areas.append(o);
    }
    return QJsonObject{
        {QStringLiteral("width"), koravel::kPanelWidth},
        {QStringLiteral("height"), koravel::kPanelHeight},
        {QStringLiteral("areas"), areas},
        {QStringLiteral("frequency"), PlaceJson(koravel::kFrequencyReadout)},
        {QStringLiteral("band"), PlaceJson(koravel::kBandReadout)},
        {QStringLiteral("moving"), PlaceJson(koravel::kMovingLabel)},
    };
}

} // namespace

Response ErrorResponse(int status, const QByteArray& error, const QString& reason) {
    return Json(status, QJsonObject{{QStringLiteral("error"), QString::fromLatin1(error)},
                                    {QStringLiteral("reason"), reason}});
}

void Api::Handle(const http::Request& request, Respond respond) {
    const std::string& path = request.path;
    const bool get = request.method == "GET" || request.method == "HEAD";
    for (const StaticFile& file : kFiles) {
        if (path != file.path)
            continue;
        if (!get)
            return respond(MethodNotAllowed("GET, HEAD"));
        QFile resource(QString::fromLatin1(file.resource));
        if (!resource.open(QIODevice::ReadOnly))
            return respond(
                ErrorResponse(500, "internal error", QStringLiteral("a page file is missing")));
        Response r;
        r.contentType = file.contentType;
        r.body = resource.readAll();
        r.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("no-cache")));
        return respond(std::move(r));
    }
    if (path == "/api/state" || path == "/api/panel") {
        if (!get)
            return respond(MethodNotAllowed("GET, HEAD"));
        Response r;
        r.body = path == "/api/state" ? StateText(station_.State())
                                      : QJsonDocument(PanelJson()).toJson(QJsonDocument::Compact);
        r.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("no-store")));
        return respond(std::move(r));
    }
    struct Post {
        const char* path;
        void (Api::*handler)(const http::Request&, Respond);
    };
    static const Post posts[] = {
        {"/api/tune", &Api::Tune},
        {"/api/band", &Api::Band},
        {"/api/step", &Api::Step},
        {"/api/setup", &Api::Setup},
    };
    for (const Post& post : posts) {
        if (path != post.path)
            continue;
        if (request.method != "POST")
            return respond(MethodNotAllowed("POST"));
        return (this->*post.handler)(request, std::move(respond));
    }
    if (path == "/api/retract") {
        if (request.method != "POST")
            return respond(MethodNotAllowed("POST"));
        if (!JsonBody(request, respond, true))
            return;
        return Command(koravel::kCommandRetract, {}, std::move(respond));
    }
    if (path == "/api/events")
        return respond(ErrorResponse(400, "bad request",
                                     QStringLiteral("/api/events is a WebSocket: ask for an "
                                                    "upgrade")));
    respond(ErrorResponse(404, "not found", QStringLiteral("no such resource")));
}

void Api::Command(std::uint8_t command, const QByteArray& argument, Respond respond) {
    if (!station_.PortUp())
        return respond(ErrorResponse(503, "offline",
                                     QStringLiteral("the unit's port is not open; "
                                                    "nothing was sent")));
    const koravel::Bytes bytes(argument.begin(), argument.end());
    station_.Command(command, bytes, [respond = std::move(respond)](const unit::Reply& reply) {
        if (reply.superseded)
            return respond(
                ErrorResponse(409, "superseded", QStringLiteral("a newer command took its place")));
        if (reply.status == unit::kNoReply)
            return respond(
                ErrorResponse(504, "no reply", QStringLiteral("the unit did not answer")));
        if (reply.status != 0)
            return respond(ErrorResponse(
                502, "refused", QStringLiteral("the unit answered status %1").arg(reply.status)));
        respond(Json(200, QJsonObject{{QStringLiteral("result"), QStringLiteral("done")}}));
    });
}

namespace {

QByteArray ToArgument(const koravel::Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

} // namespace

void Api::Tune(const http::Request& request, Respond respond) {
    const auto body = JsonBody(request, respond, false);
    if (!body)
        return;
    const QJsonValue khzValue = body->value(QStringLiteral("khz"));
    const QJsonValue directionValue = body->value(QStringLiteral("direction"));
    if (khzValue.isUndefined() && directionValue.isUndefined())
        return respond(ErrorResponse(400, "bad request",
                                     QStringLiteral("give \"khz\", \"direction\" or both")));
    std::uint32_t khz = 0;
    if (khzValue.isUndefined()) {
        // A direction alone keeps the reported frequency, as the window's
        // direction buttons do.
        if (!station_.State().known)
            return respond(ErrorResponse(409, "frequency unknown",
                                         QStringLiteral("the unit has not reported its frequency "
                                                        "yet; give \"khz\"")));
        khz = station_.State().khz;
    } else {
        const auto value = Whole(khzValue, 0, koravel::kMaxUnitKhz);
        if (!value)
            return respond(ErrorResponse(
                400, "bad request", QStringLiteral("\"khz\" must be a whole number, 0 to 65535")));
        khz = static_cast<std::uint32_t>(*value);
    }
    if (directionValue.isUndefined())
        return Command(koravel::kCommandTune, ToArgument(koravel::TuneArgument(khz)),
                       std::move(respond));
    std::optional<std::uint8_t> direction;
    if (directionValue.isString())
        direction = koravel::DirectionByName(directionValue.toString().toStdString());
    else if (const auto number = Whole(directionValue, 0, koravel::kDirectionBidirectional))
        direction = static_cast<std::uint8_t>(*number);
    if (!direction)
        return respond(ErrorResponse(400, "bad request",
                                     QStringLiteral("\"direction\" must be \"normal\", \"180\", "
                                                    "\"bidir\" (or 0, 1, 2)")));
    Command(koravel::kCommandTune, ToArgument(koravel::TuneArgument(khz, *direction)),
            std::move(respond));
}

void Api::Band(const http::Request& request, Respond respond) {
    const auto body = JsonBody(request, respond, false);
    if (!body)
        return;
    const QJsonValue value = body->value(QStringLiteral("band"));
    std::optional<std::uint16_t> khz;
    if (value.isString())
        khz = koravel::BandKhzByName(value.toString().toStdString());
    else if (const auto number = Whole(value, 1, 99))
        khz = koravel::BandKhzByName(std::to_string(*number));
    if (!khz)
        return respond(ErrorResponse(400, "bad request",
                                     QStringLiteral("\"band\" must be one of the unit's buttons: "
                                                    "\"40\", \"30\", \"20\", \"17\", \"15\", "
                                                    "\"12\", \"10\", \"6\"")));
    Command(koravel::kCommandTune, ToArgument(koravel::TuneArgument(*khz)), std::move(respond));
}

void Api::Step(const http::Request& request, Respond respond) {
    const auto body = JsonBody(request, respond, false);
    if (!body)
        return;
    const auto step =
        Whole(body->value(QStringLiteral("khz")), -koravel::kMaxUnitKhz, koravel::kMaxUnitKhz);
    if (!step || !ValidStep(*step))
        return respond(ErrorResponse(
            400, "bad request",
            QStringLiteral("\"khz\" must be a whole number of kHz, not 0, within +-65535")));
    if (!station_.State().known)
        return respond(
            ErrorResponse(409, "frequency unknown",
                          QStringLiteral("the unit has not reported its frequency yet")));
    const auto target = koravel::StepTarget(station_.State().khz, *step);
    if (!target)
        return respond(ErrorResponse(422, "out of range",
                                     QStringLiteral("the step goes beyond 0 to 65535 kHz; nothing "
                                                    "was sent")));
    Command(koravel::kCommandTune, ToArgument(koravel::TuneArgument(*target)), std::move(respond));
}

void Api::Setup(const http::Request& request, Respond respond) {
    const std::optional<std::string> force = request.QueryValue("force");
    if (force && *force != "0" && *force != "1")
        return respond(ErrorResponse(400, "bad request", QStringLiteral("force is 0 or 1")));
    if (request.body.empty())
        return respond(
            ErrorResponse(400, "bad request", QStringLiteral("send the set-up file as the body")));
    const ini::Profile file = ini::Profile::FromText(request.body);
    const Station::UploadRefusal refusal =
        station_.StartUpload(file, force && *force == "1", nullptr);
    if (refusal.status != 0) {
        Response r = ErrorResponse(refusal.status, QByteArray::fromStdString(refusal.error),
                                   QString::fromStdString(refusal.reason));
        if (!refusal.findings.empty()) {
            QJsonObject o = QJsonDocument::fromJson(r.body).object();
            QJsonArray findings;
            for (const std::string& f : refusal.findings)
                findings.append(QString::fromStdString(f));
            o[QStringLiteral("findings")] = findings;
            r.body = QJsonDocument(o).toJson(QJsonDocument::Compact);
        }
        return respond(std::move(r));
    }
    respond(Json(202, QJsonObject{{QStringLiteral("started"), true},
                                  {QStringLiteral("blocks"), station_.State().transfer.total}}));
}

} // namespace server

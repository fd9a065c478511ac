// ombrel-server request costs over real loopback sockets, each against the floor of a bare
// request (GET /health) timed in the same iterations, interleaved, on the same connection.
#include "server.h"
#include "servercommands.h"
#include "serverconfig.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Environment
{
    QTemporaryDir dir;
    std::unique_ptr<OmbrServer::Server> server;
    std::thread thread;
    int port = 0;
    std::string accessToken;
    std::string refreshToken;

    bool start()
    {
        OmbrServer::ServerConfig config;
        config.port = 0;
        config.dataDir = dir.filePath(QStringLiteral("data"));
        QBuffer password;
        password.setData("bench password\n");
        password.open(QIODevice::ReadOnly);
        QString message;
        if (OmbrServer::addUser(config, QStringLiteral("bench@example.com"), {}, password, &message) != 0)
            return false;
        server = std::make_unique<OmbrServer::Server>(config);
        QString error;
        if (!server->open(&error) || (port = server->bind(&error)) <= 0)
            return false;
        thread = std::thread([this] { server->run(); });

        httplib::Client client("127.0.0.1", port);
        const auto reply = client.Post("/ombrel/account/login",
                                       "client_id=0f1e2d3c4b5a69788796a5b4c3d2e1f0&redirect_uri=http%3A%2F%2Flocalhost%2Fcb"
                                       "&email=bench%40example.com&password=bench%20password",
                                       "application/x-www-form-urlencoded");
        if (!reply || reply->status != 303)
            return false;
        const QUrlQuery query(QUrl(QString::fromStdString(reply->get_header_value("Location"))).query());
        accessToken = query.queryItemValue(QStringLiteral("access_token")).toStdString();
        refreshToken = query.queryItemValue(QStringLiteral("refresh_token")).toStdString();
        return !accessToken.empty() && !refreshToken.empty();
    }

    ~Environment()
    {
        if (server)
            server->stop();
        if (thread.joinable())
            thread.join();
    }
};

std::unique_ptr<Environment> sharedEnvironment;

// Started on first use, so a filter that selects nothing starts no server.
Environment *environment()
{
    if (!sharedEnvironment) {
        sharedEnvironment = std::make_unique<Environment>();
        if (!sharedEnvironment->start()) {
            std::fprintf(stderr, "bench_server: cannot start the server\n");
            std::exit(1);
        }
    }
    return sharedEnvironment.get();
}

double timedMs(const std::function<bool()> &call, bool *ok)
{
    const auto start = Clock::now();
    *ok = call() && *ok;
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Measured call and floor alternate every iteration; the reported time is the measured
// call's, with the floor and the ratio beside it.
void runAgainstFloor(benchmark::State &state, const std::function<bool(httplib::Client &)> &measured)
{
    Environment *env = environment();
    httplib::Client client("127.0.0.1", env->port);
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    double measuredTotal = 0;
    double floorTotal = 0;
    bool ok = true;
    for (auto _ : state) {
        floorTotal += timedMs([&] { auto r = client.Get("/health"); return r && r->status == 200; }, &ok);
        const double ms = timedMs([&] { return measured(client); }, &ok);
        measuredTotal += ms;
        state.SetIterationTime(ms / 1000.0);
    }
    if (!ok)
        state.SkipWithError("a request failed");
    const double n = double(state.iterations());
    state.counters["floor_ms"] = floorTotal / n;
    state.counters["ratio_to_floor"] = floorTotal > 0 ? measuredTotal / floorTotal : 0;
}

void BM_AuthenticatedProfile(benchmark::State &state)
{
    const httplib::Headers headers{{"Authorization", "Bearer " + environment()->accessToken}};
    runAgainstFloor(state, [&](httplib::Client &client) {
        auto reply = client.Get("/api/v1/realms/ombrel/users/me", headers);
        return reply && reply->status == 200;
    });
}
BENCHMARK(BM_AuthenticatedProfile)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2000);

void BM_TokenRefresh(benchmark::State &state)
{
    Environment *env = environment();
    runAgainstFloor(state, [&](httplib::Client &client) {
        const QByteArray body =
            QJsonDocument(QJsonObject{{QStringLiteral("refresh_token"), QString::fromStdString(env->refreshToken)}})
                .toJson(QJsonDocument::Compact);
        auto reply = client.Post("/api/v1/realms/ombrel/auth/token/refresh", body.toStdString(), "application/json");
        if (!reply || reply->status != 200)
            return false;
        env->refreshToken = QJsonDocument::fromJson(QByteArray::fromStdString(reply->body))
                                .object()
                                .value(QStringLiteral("refresh_token"))
                                .toString()
                                .toStdString();
        return true;
    });
}
BENCHMARK(BM_TokenRefresh)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(500);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QLoggingCategory::setFilterRules(QStringLiteral("ombrel.server.info=false"));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sharedEnvironment.reset();
    return 0;
}

#include "postgres_server.h"

#include "eventually.h"

#include <libpq-fe.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <memory>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace kvr::testing {

namespace {

constexpr const char *kPort = "5432";
constexpr const char *kPrefix = "kvr-pg-";

// The folder of the server's programs: $KVR_PG_BINDIR, else the newest
// /usr/lib/postgresql/N/bin.
std::string binFolder() {
    if (const char *given = std::getenv("KVR_PG_BINDIR"); given && *given) return given;
    std::string best;
    int bestVersion = -1;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        const std::string name = entry.path().filename().string();
        const int version = std::atoi(name.c_str());
        if (version > bestVersion && fs::exists(entry.path() / "bin" / "postgres")) {
            bestVersion = version;
            best = (entry.path() / "bin").string();
        }
    }
    if (best.empty()) throw std::runtime_error("no PostgreSQL server found (install postgresql or set KVR_PG_BINDIR)");
    return best;
}

// The user the server runs as: "nobody" when the tests run as root.
struct Account {
    uid_t uid;
    gid_t gid;
};

Account serverAccount() {
    if (::geteuid() != 0) return {::geteuid(), ::getegid()};
    const passwd *nobody = ::getpwnam("nobody");
    if (!nobody) throw std::runtime_error("the tests run as root and there is no user nobody to run the server");
    return {nobody->pw_uid, nobody->pw_gid};
}

void hand(const fs::path &path, const Account &account) {
    if (::geteuid() != 0) return;
    if (::lchown(path.c_str(), account.uid, account.gid) != 0) throw std::runtime_error("chown " + path.string());
}

void handAll(const fs::path &path, const Account &account) {
    hand(path, account);
    if (!fs::is_directory(path)) return;
    for (const auto &entry : fs::recursive_directory_iterator(path)) hand(entry.path(), account);
}

std::string readAll(const fs::path &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Starts program as the server's account with its output in log; with
// tiedToUs, the kernel sends it SIGQUIT (immediate shutdown) should this
// process end first.
pid_t spawn(const std::vector<std::string> &arguments, const fs::path &log, bool tiedToUs) {
    const Account account = serverAccount();
    const pid_t parent = ::getpid();
    std::vector<std::string> args = arguments;
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string env[] = {"LC_ALL=C", "PATH=/usr/bin:/bin", "TZ=UTC"};
    char *envp[] = {env[0].data(), env[1].data(), env[2].data(), nullptr};
    const std::string logPath = log.string();
    const std::string folderPath = log.parent_path().string();

    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid > 0) return pid;
    // The child: only async-signal-safe calls from here on.
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(account.gid) != 0 || ::setuid(account.uid) != 0))
        ::_exit(126);
    // After the change of user, which clears it.
    if (tiedToUs && (::prctl(PR_SET_PDEATHSIG, SIGQUIT) != 0 || ::getppid() != parent)) ::_exit(125);
    const int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (out >= 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
    }
    if (::chdir(folderPath.c_str()) != 0) ::_exit(124);
    const int devNull = ::open("/dev/null", O_RDONLY);
    if (devNull >= 0) ::dup2(devNull, 0);
    ::close_range(3, ~0U, 0);
    ::execve(argv[0], argv.data(), envp);
    ::_exit(127);
}

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return status;
}

// Ends the server: fast shutdown, then immediate, then kill.
void end(pid_t pid) {
    const std::pair<int, int> steps[] = {{SIGINT, 15000}, {SIGQUIT, 5000}, {SIGKILL, 60000}};
    for (const auto &[signal, ms] : steps) {
        ::kill(pid, signal);
        const auto ended = [pid] {
            int status = 0;
            const pid_t done = ::waitpid(pid, &status, WNOHANG);
            return done == pid || (done < 0 && errno == ECHILD);
        };
        if (kvr7x::test::eventually(ended, std::chrono::milliseconds(ms), std::chrono::milliseconds(10))) return;
    }
}

std::string conninfoAt(const fs::path &folder, const std::string &database, const std::string &user) {
    return "host=" + folder.string() + " port=" + kPort + " user=" + user + " dbname=" + database;
}

// Starts postgres on the data folder in folder; waits until it answers.
pid_t startServer(const fs::path &folder, bool durable, PostgresServer::Reach reach) {
    std::vector<std::string> args{
        binFolder() + "/postgres",
        "-D",
        (folder / "data").string(),
        "-k",
        folder.string(),
        "-p",
        kPort,
        "-c",
        reach == PostgresServer::Reach::AlsoLoopback ? "listen_addresses=127.0.0.1" : "listen_addresses=",
        "-c",
        "shared_buffers=16MB",
        "-c",
        "max_connections=60",
        "-c",
        "log_min_messages=warning"};
    if (!durable)
        for (const char *setting : {"fsync=off", "full_page_writes=off", "synchronous_commit=off"})
            args.insert(args.end(), {"-c", setting});
    const pid_t pid = spawn(args, folder / "server.log", true);
    const std::string ping = conninfoAt(folder, "postgres", "kvr");
    const auto answers = [&] {
        if (PQping(ping.c_str()) == PQPING_OK) return true;
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            throw std::runtime_error("the PostgreSQL server ended at start:\n" + readAll(folder / "server.log"));
        return false;
    };
    if (kvr7x::test::eventually(answers, std::chrono::seconds(60), std::chrono::milliseconds(20))) return pid;
    end(pid);
    throw std::runtime_error("the PostgreSQL server did not answer:\n" + readAll(folder / "server.log"));
}

// Removes folders of servers whose test program is gone.
void removeLeftovers() {
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(fs::temp_directory_path(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kPrefix, 0) != 0 || name.find("template") != std::string::npos) continue;
        const pid_t owner = static_cast<pid_t>(std::atol(readAll(entry.path() / "owner").c_str()));
        if (owner > 0 && (::kill(owner, 0) == 0 || errno != ESRCH)) continue;
        if (owner <= 0 &&
            fs::last_write_time(entry.path(), ec) > fs::file_time_type::clock::now() - std::chrono::hours(1))
            continue;  // being made just now
        fs::remove_all(entry.path(), ec);
    }
}

fs::path makeFolder(const std::string &kind) {
    std::string pattern = (fs::temp_directory_path() / (std::string(kPrefix) + kind + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    std::ofstream(fs::path(pattern) / "owner") << ::getpid();
    hand(pattern, serverAccount());
    return pattern;
}

std::string runSql(const std::string &conninfo, const std::string &text) {
    std::unique_ptr<PGconn, void (*)(PGconn *)> conn(PQconnectdb(conninfo.c_str()), PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK) return "ERROR: " + std::string(PQerrorMessage(conn.get()));
    PQsetNoticeProcessor(
        conn.get(), [](void *, const char *) {}, nullptr);
    std::unique_ptr<PGresult, void (*)(PGresult *)> result(PQexec(conn.get(), text.c_str()), PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        return "ERROR: " + std::string(PQresultErrorMessage(result.get()));
    if (status == PGRES_TUPLES_OK && PQntuples(result.get()) > 0 && PQnfields(result.get()) > 0)
        return PQgetvalue(result.get(), 0, 0);
    return {};
}

// The data folder every server starts from: initdb once, a role that must
// give a password, and the rule that asks it.
fs::path templateFolder() {
    const std::string bin = binFolder();
    const fs::path made =
        fs::temp_directory_path() / (std::string(kPrefix) + "template-" + std::to_string(::geteuid()) + "-" +
                                     std::to_string(std::hash<std::string>{}(bin) % 1000000) + "-1");
    if (fs::exists(made / "PG_VERSION")) return made;
    const fs::path folder = makeFolder("making-");
    try {
        const int initdb = waitFor(spawn({bin + "/initdb", "-D", (folder / "data").string(), "-U", "kvr",
                                          "--auth=trust", "--no-sync", "-E", "UTF8", "--locale=C"},
                                         folder / "initdb.log", true));
        if (!WIFEXITED(initdb) || WEXITSTATUS(initdb) != 0)
            throw std::runtime_error("initdb failed:\n" + readAll(folder / "initdb.log"));
        {
            std::ofstream hba(folder / "data" / "pg_hba.conf", std::ios::trunc);
            hba << "local all " << PostgresServer::kSecuredUser << " scram-sha-256\nlocal all all trust\n";
        }
        const pid_t server = startServer(folder, false, PostgresServer::Reach::SocketFolder);
        const std::string roleMade = runSql(conninfoAt(folder, "postgres", "kvr"),
                                            std::string("CREATE ROLE ") + PostgresServer::kSecuredUser +
                                                " LOGIN PASSWORD '" + PostgresServer::kSecuredPassword + "'");
        end(server);
        if (roleMade.rfind("ERROR", 0) == 0) throw std::runtime_error(roleMade);
    } catch (...) {
        std::error_code ec;
        fs::remove_all(folder, ec);
        throw;
    }
    std::error_code ec;
    fs::rename(folder / "data", made, ec);  // another test program may have been quicker
    fs::remove_all(folder, ec);
    if (!fs::exists(made / "PG_VERSION"))
        throw std::runtime_error("cannot keep the server template at " + made.string());
    return made;
}

}  // namespace

PostgresServer::PostgresServer(bool durable, Reach reach) : durable_(durable), reach_(reach) {
    removeLeftovers();
    const fs::path from = templateFolder();
    folder_ = makeFolder("").string();
    try {
        fs::copy(from, fs::path(folder_) / "data", fs::copy_options::recursive);
        handAll(fs::path(folder_) / "data", serverAccount());
        fs::permissions(fs::path(folder_) / "data", fs::perms::owner_all);
        if (reach == Reach::AlsoLoopback)
            std::ofstream(fs::path(folder_) / "data" / "pg_hba.conf", std::ios::app)
                << "host all all 127.0.0.1/32 trust\n";
        start();
    } catch (...) {
        std::error_code ec;
        fs::remove_all(folder_, ec);
        throw;
    }
}

PostgresServer::~PostgresServer() {
    stop();
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

void PostgresServer::start() {
    if (pid_ > 0) return;
    pid_ = startServer(folder_, durable_, reach_);
}

void PostgresServer::stop() {
    if (pid_ <= 0) return;
    end(pid_);
    pid_ = -1;
}

std::string PostgresServer::conninfo(const std::string &database, const std::string &user) const {
    return conninfoAt(folder_, database, user);
}

std::string PostgresServer::loopbackConninfo(const std::string &database) const {
    return std::string("host=127.0.0.1 port=") + kPort + " user=kvr dbname=" + database;
}

std::string PostgresServer::freshDatabase() {
    const std::string name = "kvr_test_" + std::to_string(++databases_);
    const std::string made = sql(conninfo(), "CREATE DATABASE " + name);
    if (made.rfind("ERROR", 0) == 0) throw std::runtime_error(made);
    return conninfo(name);
}

std::string PostgresServer::sql(const std::string &conninfo, const std::string &text) { return runSql(conninfo, text); }

namespace {
std::unique_ptr<PostgresServer> &sharedServer() {
    static std::unique_ptr<PostgresServer> server;
    return server;
}
}  // namespace

PostgresServer &testServer() {
    if (!sharedServer()) sharedServer() = std::make_unique<PostgresServer>();
    return *sharedServer();
}

void stopTestServer() { sharedServer().reset(); }

}  // namespace kvr::testing

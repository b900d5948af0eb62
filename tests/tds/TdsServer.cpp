#include "tests/tds/TdsServer.h"

#include "platform/text.h"

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <thread>

#include <chrono>
#include <cstdio>
#include <map>
#include <stdexcept>

namespace znx::test {

namespace {

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out + "\"";
}

// One flat JSON object of string and number values, as the server writes it.
TTdsRecord ParseRecord(const std::string& line) {
    TTdsRecord r;
    size_t i = 0;
    auto skip = [&] {
        while (i < line.size() && (line[i] == ' ' || line[i] == ',' || line[i] == ':' || line[i] == '{')) ++i;
    };
    auto str = [&] {
        std::string out;
        ++i; // opening quote
        while (i < line.size() && line[i] != '"') {
            if (line[i] == '\\' && i + 1 < line.size()) {
                const char e = line[++i];
                if (e == 'u') {
                    unsigned cp = static_cast<unsigned>(std::stoul(line.substr(i + 1, 4), nullptr, 16));
                    i += 4;
                    if (cp >= 0xD800 && cp <= 0xDBFF && line.compare(i + 1, 2, "\\u") == 0) {
                        unsigned lo = static_cast<unsigned>(std::stoul(line.substr(i + 3, 4), nullptr, 16));
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                        i += 6;
                    }
                    AppendUtf8(out, cp);
                } else {
                    out.push_back(e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e == 'b' ? '\b' : e == 'f' ? '\f' : e);
                }
                ++i;
            } else {
                out.push_back(line[i++]);
            }
        }
        ++i;
        return out;
    };
    while (true) {
        skip();
        if (i >= line.size() || line[i] != '"') break;
        const std::string key = str();
        skip();
        std::string value;
        if (i < line.size() && line[i] == '"') {
            value = str();
        } else {
            while (i < line.size() && line[i] != ',' && line[i] != '}') value.push_back(line[i++]);
        }
        if (key == "conn") r.conn = std::stoi(value);
        else if (key == "db") r.db = value;
        else if (key == "kind") r.kind = value;
        else if (key == "text") r.text = value;
        else if (key == "user") r.user = value;
        else if (key == "app") r.app = value;
        else if (key == "host") r.host = value;
    }
    return r;
}

// The path as the server's own system names it: under Wine the host's path
// of a Windows path (the server runs as a host process).
std::string HostPath(const std::string& path) {
#ifdef _WIN32
    using UnixNameFn = char*(__cdecl*)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return path;
    std::wstring wide(path.begin(), path.end());
    char* name = unixName(wide.c_str());
    if (!name) return path;
    std::string out(name);
    HeapFree(GetProcessHeap(), 0, name);
    return out;
#else
    return path;
#endif
}

} // namespace

TTdsServer::TTdsServer(const TTdsConfig& config) {
    record_ = dir_ / "record.jsonl";
    std::string json = "{\"record\": " + JsonString(HostPath(record_)) + ", \"users\": {";
    for (size_t k = 0; k < config.users.size(); ++k)
        json += (k ? ", " : "") + JsonString(config.users[k].first) + ": " + JsonString(config.users[k].second);
    json += "}, \"databases\": [";
    for (size_t k = 0; k < config.databases.size(); ++k) json += (k ? ", " : "") + JsonString(config.databases[k]);
    json += "], \"default_database\": " + JsonString(config.defaultDatabase) +
            ", \"silent\": " + (config.silent ? "true" : "false") + "}";
    WriteFile(dir_ / "config.json", json);

    const std::string script = std::string(ZNX_SOURCE_DIR) + "/tests/tds/tds_server.py";
    const std::string cfg = HostPath(dir_ / "config.json");
#ifdef _WIN32
    // Pipes to a host process read as closed under Wine: the server's output
    // goes to a file, and it ends once its config file is gone.
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const std::string outPath = dir_ / "server.out";
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const char* python = std::getenv("ZNX_PYTHON");
    std::string cmd = std::string(python && *python ? python : "/usr/bin/python3") + " " + script + " --config " +
                      cfg + " --exit-when-missing " + cfg;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(out);
    if (!started) {
        throw std::runtime_error("the TDS test server could not be started: " + cmd);
    }
    process_ = pi.hProcess;
    if (pi.hThread) CloseHandle(pi.hThread);
    // Wait for the "PORT n" line, however long Python takes to start.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        line = Exists(outPath) ? ReadFile(outPath) : std::string();
        if (line.find('\n') != std::string::npos) break;
        Sleep(10);
    }
    if (line.rfind("PORT ", 0) != 0) throw std::runtime_error("the TDS test server did not start: " + line);
    port_ = std::stoi(line.substr(5));
}

TTdsServer::~TTdsServer() {
    // The server ends when its config file is gone.
    DeleteFileA((dir_ / "config.json").c_str());
    if (process_) CloseHandle(static_cast<HANDLE>(process_)); // a host process: not waited for
}
#else
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        close(in[1]);
        close(out[0]);
        execlp("python3", "python3", script.c_str(), "--config", cfg.c_str(), "--exit-on-eof",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    stdinFd_ = in[1];
    fcntl(stdinFd_, F_SETFD, FD_CLOEXEC);
    // Wait for the "PORT n" line, however long Python takes to start.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{out[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buf[256];
        const ssize_t got = read(out[0], buf, sizeof buf);
        if (got <= 0) break;
        line.append(buf, static_cast<size_t>(got));
    }
    close(out[0]);
    if (line.rfind("PORT ", 0) != 0) throw std::runtime_error("the TDS test server did not start: " + line);
    port_ = std::stoi(line.substr(5));
}

TTdsServer::~TTdsServer() {
    if (stdinFd_ >= 0) close(stdinFd_); // the server ends when its input ends
    if (pid_ > 0) {
        for (int k = 0; k < 200; ++k) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            usleep(10000);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

#endif

std::string TTdsServer::AdoString(const std::string& user, const std::string& password) const {
    return "Provider=SQLOLEDB.1;Persist Security Info=True;Data Source=127.0.0.1," + std::to_string(port_) +
           ";User ID=" + user + ";Password=\"" + password + "\"";
}

std::vector<TTdsRecord> TTdsServer::Records() const {
    std::vector<TTdsRecord> out;
    if (!Exists(record_)) return out;
    const std::string all = ReadFile(record_);
    for (size_t start = 0, end; (end = all.find('\n', start)) != std::string::npos; start = end + 1)
        out.push_back(ParseRecord(all.substr(start, end - start)));
    return out;
}

std::vector<TTdsRecord> TTdsServer::UserBatches() const {
    std::vector<TTdsRecord> out;
    for (auto& r : Records()) {
        if (r.kind != "batch") continue;
        if (r.text.rfind("USE ", 0) == 0 || r.text.rfind("SET ", 0) == 0) continue;
        out.push_back(r);
    }
    return out;
}

bool TTdsServer::AllClosed() const {
    for (int k = 0; k < 500; ++k) {
        std::map<int, int> open;
        for (const auto& r : Records()) {
            if (r.kind == "login") open[r.conn] += 1;
            if (r.kind == "close") open[r.conn] -= 1;
        }
        bool all = true;
        for (const auto& [conn, n] : open)
            if (n > 0) all = false;
        if (all) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void TTdsServer::ClearRecords() const {
    if (Exists(record_)) WriteFile(record_, "");
}

#ifdef _WIN32
int RefusedPort() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    closesocket(s);
    WSACleanup();
    return ntohs(a.sin_port);
}
#else
int RefusedPort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}
#endif

} // namespace znx::test

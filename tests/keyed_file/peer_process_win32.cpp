// Windows: the peer is keyed_file_peer.exe beside the test program, started
// with CreateProcessW, its standard output an anonymous pipe.
#include "peer_process.h"

#include <windows.h>

#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace kvr::testing {

namespace {

std::filesystem::path programFolder() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0) throw std::runtime_error("GetModuleFileNameW failed");
        if (n < name.size()) {
            name.resize(n);
            return std::filesystem::path(name).parent_path();
        }
        name.resize(name.size() * 2);
    }
}

// One argument quoted as CommandLineToArgvW reads it back.
std::wstring quoted(const std::wstring &argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}

}  // namespace

ScratchFolder::ScratchFolder() {
    std::random_device random;
    const std::filesystem::path temp = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate = temp / ("kvr-keyed-" + std::to_string(random()));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            // Forward slashes throughout: the tests join names with '/'.
            path_ = candidate.generic_string();
            return;
        }
    }
    throw std::runtime_error("no scratch folder");
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    // Read-only entries made by a test must not stop the removal.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
}

InFolder::InFolder(const std::string &folder) : previous_(std::filesystem::current_path().string()) {
    std::filesystem::current_path(folder);
}

InFolder::~InFolder() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
}

Peer::Peer(const std::vector<std::string> &arguments)
    : Peer((programFolder() / "keyed_file_peer.exe").string(), arguments) {}

Peer::Peer(const std::string &program, const std::vector<std::string> &arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!::CreatePipe(&read, &write, &inherit, 0)) throw std::runtime_error("CreatePipe failed");
    ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    std::wstring line = quoted(std::filesystem::path(program).wstring());
    for (const std::string &a : arguments) line += L" " + quoted(std::filesystem::path(a).wstring());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    const BOOL ok =
        ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started);
    ::CloseHandle(write);
    out_ = read;
    if (!ok) throw std::runtime_error("cannot start the peer process");
    ::CloseHandle(started.hThread);
    process_ = started.hProcess;
    pid_ = static_cast<int>(started.dwProcessId);
}

Peer::~Peer() {
    kill();
    wait();
    if (out_) ::CloseHandle(out_);
}

std::string Peer::readLine(std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    for (;;) {
        auto newline = pending_.find('\n');
        if (newline != std::string::npos) {
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        DWORD available = 0;
        if (!::PeekNamedPipe(out_, nullptr, 0, nullptr, &available, nullptr)) return {};  // the peer ended
        if (available == 0) {
            // An anonymous pipe cannot be waited on: look again shortly.
            if (std::chrono::steady_clock::now() >= deadline) return {};
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        char buffer[256];
        DWORD n = 0;
        if (!::ReadFile(out_, buffer, available < sizeof buffer ? available : sizeof buffer, &n, nullptr) || n == 0)
            return {};
        pending_.append(buffer, n);
    }
}

void Peer::kill() {
    if (process_) ::TerminateProcess(process_, 137);
}

int Peer::wait() {
    if (!process_) return -1;
    ::WaitForSingleObject(process_, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process_, &code);
    ::CloseHandle(process_);
    process_ = nullptr;
    pid_ = -1;
    return static_cast<int>(code);
}

std::string runPeer(const std::vector<std::string> &arguments) {
    Peer peer(arguments);
    std::string line = peer.readLine();
    peer.wait();
    return line;
}

}  // namespace kvr::testing

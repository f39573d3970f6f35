// folvane-make-tree: makes a deterministic, realistic-looking tree of exactly N entries
// for the benchmarks. Sizes are sparse (ftruncate), so a million entries cost little disk.
//
// The shape is planned in memory first (folders, their parents, how many files each
// holds); names, sizes and time stamps of a folder's entries come from a generator
// seeded by (seed, folder index), so the result depends neither on the order of
// creation nor on the number of threads that create it.
//
// Two deep shapes test how a walk scales with depth rather than with entries: a chain
// of nested folders, and a comb (a chain with two empty folders at every level). Their
// paths run far beyond PATH_MAX, so they are made one level at a time relative to the
// parent's descriptor, with at most two descriptors open.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

namespace {

// xoshiro256** seeded through splitmix64: fully defined, so a seed gives the same
// tree with every compiler and library (std:: distributions give no such promise).
std::uint64_t splitMix(std::uint64_t &x)
{
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

class Rng
{
public:
    explicit Rng(std::uint64_t seed)
    {
        for (auto &w : m_s)
            w = splitMix(seed);
    }
    std::uint64_t next()
    {
        const std::uint64_t result = rotl(m_s[1] * 5, 7) * 9;
        const std::uint64_t t = m_s[1] << 17;
        m_s[2] ^= m_s[0];
        m_s[3] ^= m_s[1];
        m_s[1] ^= m_s[2];
        m_s[0] ^= m_s[3];
        m_s[2] ^= t;
        m_s[3] = rotl(m_s[3], 45);
        return result;
    }
    std::uint64_t below(std::uint64_t n) { return n == 0 ? 0 : next() % n; }
    double unit() { return double(next() >> 11) * 0x1.0p-53; }
    bool chance(double p) { return unit() < p; }
    double normal()
    {
        const double u1 = 1.0 - unit(); // (0, 1]
        const double u2 = unit();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::array<std::uint64_t, 4> m_s {};
};

template <typename T>
struct Weighted
{
    T value;
    double weight;
};

template <typename T, std::size_t N>
const T &pick(Rng &rng, const std::array<Weighted<T>, N> &table)
{
    double total = 0;
    for (const auto &e : table)
        total += e.weight;
    double r = rng.unit() * total;
    for (const auto &e : table) {
        if (r < e.weight)
            return e.value;
        r -= e.weight;
    }
    return table.back().value;
}

// An extension and the typical size of its files (log2 of the median bytes).
struct Extension
{
    std::string_view text;
    double log2Median;
};

constexpr std::array<Weighted<Extension>, 36> FileExtensions {{
    {{"", 11}, 14},
    {{".c", 13}, 5},
    {{".h", 11}, 5},
    {{".txt", 11}, 7},
    {{".jpg", 18}, 7},
    {{".png", 15}, 6},
    {{".so", 18}, 2},
    {{".so.1", 18}, 1},
    {{".py", 12}, 6},
    {{".json", 11}, 5},
    {{".log", 14}, 4},
    {{".tar.gz", 22}, 2},
    {{".js", 13}, 4},
    {{".min.js", 15}, 1},
    {{".cpp", 13}, 3},
    {{".hpp", 12}, 1},
    {{".md", 11}, 3},
    {{".html", 13}, 3},
    {{".css", 12}, 2},
    {{".xml", 12}, 2},
    {{".gz", 16}, 2},
    {{".o", 14}, 3},
    {{".pdf", 18}, 2},
    {{".mp3", 22}, 1},
    {{".mp4", 25}, 1},
    {{".zip", 20}, 1},
    {{".sqlite", 17}, 1},
    {{".conf", 10}, 1},
    {{".sh", 10}, 1},
    {{".jpeg", 18}, 1},
    {{".JPG", 19}, 1},
    {{".pyc", 12}, 2},
    {{".tar.xz", 23}, 1},
    {{".bak", 13}, 1},
    {{".ttf", 17}, 1},
    {{".svg", 12}, 1},
}};

constexpr std::array<Weighted<std::string_view>, 4> FolderExtensions {{
    {"", 95},
    {".d", 2},
    {".app", 1},
    {".old", 2},
}};

constexpr std::array<std::string_view, 80> Words {
    "src",
    "lib",
    "data",
    "test",
    "img",
    "photo",
    "report",
    "config",
    "cache",
    "build",
    "module",
    "index",
    "util",
    "core",
    "main",
    "backup",
    "draft",
    "final",
    "notes",
    "music",
    "video",
    "doc",
    "user",
    "temp",
    "assets",
    "vendor",
    "node",
    "kernel",
    "driver",
    "font",
    "icon",
    "theme",
    "log",
    "db",
    "share",
    "local",
    "include",
    "bin",
    "project",
    "invoice",
    "scan",
    "IMG",
    "DSC",
    "Screenshot",
    "readme",
    "setup",
    "package",
    "release",
    "v2",
    "old",
    "new",
    "copy",
    "Documents",
    "Downloads",
    "Pictures",
    "holiday",
    "summer",
    "thesis",
    "chapter",
    "figure",
    "results",
    "export",
    "import",
    "plugin",
    "widget",
    "server",
    "client",
    "api",
    "models",
    "views",
    "static",
    "public",
    "private",
    "archive",
    "tmp",
    "node_modules",
    "__pycache__",
    "site-packages",
    "x86_64",
    "linux",
};

// Valid UTF-8 beyond ASCII: two-, three- and four-byte sequences.
constexpr std::array<std::string_view, 14> ForeignWords {
    "résumé",
    "Übersicht",
    "日本語",
    "фото",
    "naïve",
    "café",
    "Straße",
    "данные",
    "写真",
    "ñandú",
    "øre",
    "Ελλάδα",
    "😀",
    "données",
};

constexpr int MaxFolderDepth = 24; // files go one deeper
constexpr int MinNameBytes = 4;
constexpr int MaxNameBytes = 60;

// Share of folders made at each depth (index = depth below DEST): most between 2 and
// 11, a thinning tail down to 24.
std::array<double, MaxFolderDepth + 1> folderDepthWeights()
{
    std::array<double, MaxFolderDepth + 1> w {};
    const double head[] = {0, 0.3, 1.5, 4, 8, 11, 12, 12, 11, 9, 7, 5, 3.5};
    for (int d = 1; d <= 12; ++d)
        w[d] = head[d];
    for (int d = 13; d <= MaxFolderDepth; ++d)
        w[d] = w[d - 1] * 0.7;
    return w;
}

std::size_t utf8Floor(const std::string &s, std::size_t n)
{
    // Back up to the start of a character so a cut never splits one.
    if (n >= s.size())
        return s.size();
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

struct Plan
{
    std::uint64_t seed = 1;
    std::int64_t now = 0;
    std::vector<std::uint8_t> depth; // depth below DEST
    std::vector<std::uint32_t> files; // files directly in the folder
    std::vector<std::uint64_t> firstFile; // global ordinal of its first file
    std::vector<std::vector<std::uint32_t>> subfolders; // folder index -> child folders
    std::uint64_t hugeStride = 0; // every hugeStride-th file is larger than 4 GiB
};

Plan makePlan(std::uint64_t entries, std::uint64_t seed, std::int64_t now)
{
    Plan p;
    p.seed = seed;
    p.now = now;
    Rng rng(seed);

    // About one entry in nine is a folder, as on typical home and system trees.
    const std::uint64_t folders = std::uint64_t(std::llround(double(entries) * 0.11));
    const std::uint64_t files = entries - folders;
    const std::size_t nodes = std::size_t(folders) + 1;
    p.depth.assign(nodes, 0);
    p.files.assign(nodes, 0);
    p.firstFile.assign(nodes, 0);
    p.subfolders.assign(nodes, {});

    // Each folder picks a depth, then a parent one level up in proportion to the
    // children that parent already has (+1): a few folders collect many subfolders.
    const auto depthWeights = folderDepthWeights();
    double depthTotal = 0;
    for (double w : depthWeights)
        depthTotal += w;
    std::vector<std::vector<std::uint32_t>> tickets(MaxFolderDepth + 1);
    tickets[0].push_back(0);
    int deepest = 0;
    for (std::uint32_t f = 1; f < nodes; ++f) {
        double r = rng.unit() * depthTotal;
        int d = 1;
        while (d < MaxFolderDepth && r >= depthWeights[d]) {
            r -= depthWeights[d];
            ++d;
        }
        d = std::min(d, deepest + 1);
        deepest = std::max(deepest, d);
        auto &level = tickets[d - 1];
        const std::uint32_t parent = level[rng.below(level.size())];
        level.push_back(parent);
        tickets[d].push_back(f);
        p.depth[f] = std::uint8_t(d);
        p.subfolders[parent].push_back(f);
    }

    // Files go to folders by heavy-tailed (Pareto) weights; some folders get none.
    std::vector<double> cumulative(nodes);
    double total = 0;
    for (std::size_t f = 0; f < nodes; ++f) {
        double w = 0;
        if (!rng.chance(0.12))
            w = std::min(std::pow(1.0 - rng.unit(), -1.0 / 1.15), 6000.0);
        total += w;
        cumulative[f] = total;
    }
    if (total == 0) { // a tiny tree where every folder drew none: the files go to DEST
        std::fill(cumulative.begin(), cumulative.end(), 1.0);
        total = 1.0;
    }
    for (std::uint64_t i = 0; i < files; ++i) {
        const double r = rng.unit() * total;
        auto it = std::upper_bound(cumulative.begin(), cumulative.end(), r);
        if (it == cumulative.end())
            --it;
        ++p.files[std::size_t(it - cumulative.begin())];
    }
    std::uint64_t ordinal = 0;
    for (std::size_t f = 0; f < nodes; ++f) {
        p.firstFile[f] = ordinal;
        ordinal += p.files[f];
    }
    if (files >= 1000) {
        const std::uint64_t huge = std::max<std::uint64_t>(2, files / 150000);
        p.hugeStride = files / huge;
    }
    return p;
}

struct Made
{
    std::uint64_t files = 0;
    std::uint64_t folders = 0;
    std::uint64_t bytes = 0;
    std::uint64_t nameBytes = 0;
    int maxDepth = 0;
    std::uint64_t largestFolder = 0;

    void add(const Made &o)
    {
        files += o.files;
        folders += o.folders;
        bytes += o.bytes;
        nameBytes += o.nameBytes;
        maxDepth = std::max(maxDepth, o.maxDepth);
        largestFolder = std::max(largestFolder, o.largestFolder);
    }
};

// Creating entries is kernel work and scales with cores. Each worker walks its subtree
// depth first; a folder is handed to the shared queue only while another worker waits,
// so the number of open descriptors stays at about the depth times the workers.
class Maker
{
public:
    Maker(const Plan &plan, unsigned jobs) : m_plan(plan), m_jobs(std::max(1u, jobs)) { }

    Made run(int destFd, const std::string &dest)
    {
        m_queue.push_back(Task {destFd, 0, dest});
        m_outstanding = 1;
        std::vector<Made> made(m_jobs);
        std::vector<std::thread> workers;
        for (unsigned i = 1; i < m_jobs; ++i)
            workers.emplace_back([this, &made, i] { work(made[i]); });
        work(made[0]);
        for (auto &t : workers)
            t.join();
        Made total;
        for (const auto &m : made)
            total.add(m);
        return total;
    }

private:
    struct Task
    {
        int fd;
        std::uint32_t folder;
        std::string path;
    };

    void work(Made &made)
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            ++m_waiting;
            m_cv.wait(lock, [this] { return !m_queue.empty() || m_outstanding == 0; });
            --m_waiting;
            if (m_queue.empty())
                return;
            Task task = std::move(m_queue.back());
            m_queue.pop_back();
            lock.unlock();
            populate(task.fd, task.folder, task.path, made);
            ::close(task.fd);
            lock.lock();
            if (--m_outstanding == 0)
                m_cv.notify_all();
        }
    }

    bool handOver(int fd, std::uint32_t folder, const std::string &path)
    {
        std::lock_guard lock(m_mutex);
        if (m_waiting == 0 || !m_queue.empty())
            return false;
        m_queue.push_back(Task {fd, folder, path});
        ++m_outstanding;
        m_cv.notify_one();
        return true;
    }

    void populate(int dirFd, std::uint32_t folder, std::string &path, Made &made)
    {
        Rng rng(m_plan.seed * 0x100000001B3ull ^ (std::uint64_t(folder) + 1) * 0x9E3779B97F4A7C15ull);
        const std::uint32_t fileCount = m_plan.files[folder];
        const auto &subs = m_plan.subfolders[folder];
        const int entryDepth = m_plan.depth[folder] + 1;

        std::unordered_set<std::string> taken;
        taken.reserve(fileCount + subs.size());
        std::vector<std::string> subNames;
        subNames.reserve(subs.size());
        for (std::size_t i = 0; i < subs.size(); ++i)
            subNames.push_back(uniqueName(rng, taken, true, nullptr));

        for (std::uint32_t i = 0; i < fileCount; ++i) {
            double log2Median = 11;
            const std::string name = uniqueName(rng, taken, false, &log2Median);
            const std::uint64_t size = fileSize(rng, log2Median, m_plan.firstFile[folder] + i);
            const auto times = stamps(rng);
            const int fd =
                ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd < 0)
                fail("create", path, name);
            if (size > 0 && ::ftruncate(fd, off_t(size)) != 0)
                fail("ftruncate", path, name);
            if (::futimens(fd, times.data()) != 0)
                fail("futimens", path, name);
            ::close(fd);
            ++made.files;
            made.bytes += size;
            made.nameBytes += name.size();
        }
        for (const std::string &name : subNames) {
            if (::mkdirat(dirFd, name.c_str(), 0755) != 0)
                fail("mkdir", path, name);
            ++made.folders;
            made.nameBytes += name.size();
        }
        if (fileCount + subs.size() > 0)
            made.maxDepth = std::max(made.maxDepth, entryDepth);
        made.largestFolder = std::max<std::uint64_t>(made.largestFolder, fileCount + subs.size());

        // Set only now: making the entries above moves a folder's time stamps, what
        // happens deeper down does not. DEST itself is left as it was.
        if (folder != 0) {
            const auto times = stamps(rng);
            if (::futimens(dirFd, times.data()) != 0)
                fail("futimens", path, ".");
        }

        for (std::size_t i = 0; i < subs.size(); ++i) {
            const std::string &name = subNames[i];
            const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0)
                fail("open", path, name);
            const std::size_t mark = path.size();
            path += '/';
            path += name;
            if (!handOver(fd, subs[i], path)) {
                populate(fd, subs[i], path, made);
                ::close(fd);
            }
            path.resize(mark);
        }
    }

    [[noreturn]] static void fail(const char *what, const std::string &path, const std::string &name)
    {
        std::fprintf(stderr, "folvane-make-tree: %s %s/%s: %s\n", what, path.c_str(), name.c_str(),
            std::strerror(errno));
        std::exit(1);
    }

    std::uint64_t fileSize(Rng &rng, double log2Median, std::uint64_t ordinal) const
    {
        if (m_plan.hugeStride != 0 && ordinal % m_plan.hugeStride == m_plan.hugeStride / 2)
            return (std::uint64_t(4) << 30) + 1 + rng.below(std::uint64_t(28) << 30);
        if (rng.chance(0.04))
            return 0;
        // Log-normal around the extension's median: a heavy tail of large files.
        const double bytes = std::exp2(log2Median + 2.6 * rng.normal());
        return std::uint64_t(std::clamp(bytes, 1.0, double(std::uint64_t(3) << 30)));
    }

    // Access and modify times over the five years before `now`, more of them recent;
    // access never before modify.
    std::array<timespec, 2> stamps(Rng &rng) const
    {
        constexpr double FiveYears = 5 * 365.25 * 86400;
        const double age = FiveYears * std::pow(rng.unit(), 1.7);
        const std::int64_t modified = m_plan.now - std::int64_t(age);
        const std::int64_t accessed = modified + std::int64_t(double(m_plan.now - modified) * rng.unit());
        std::array<timespec, 2> t {};
        t[0].tv_sec = time_t(accessed);
        t[0].tv_nsec = long(rng.below(1000000000));
        t[1].tv_sec = time_t(modified);
        t[1].tv_nsec = long(rng.below(1000000000));
        return t;
    }

    std::string uniqueName(Rng &rng, std::unordered_set<std::string> &taken, bool folder, double *log2Median)
    {
        std::string name = makeName(rng, folder, log2Median);
        for (int attempt = 0; taken.count(name) && attempt < 3; ++attempt)
            name = makeName(rng, folder, log2Median);
        if (taken.count(name)) {
            // Keep the extension, number the stem, stay within the length limit.
            const std::size_t dot = name.find('.', 1);
            const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
            const std::string stem = name.substr(0, name.size() - ext.size());
            for (std::uint64_t k = 1;; ++k) {
                std::string suffix(1, '-');
                suffix += std::to_string(k);
                const std::size_t room = MaxNameBytes - ext.size() - suffix.size();
                std::string candidate = stem.substr(0, utf8Floor(stem, room)) + suffix + ext;
                if (!taken.count(candidate)) {
                    name = std::move(candidate);
                    break;
                }
            }
        }
        taken.insert(name);
        return name;
    }

    static std::string makeName(Rng &rng, bool folder, double *log2Median)
    {
        std::string ext;
        if (folder) {
            ext = pick(rng, FolderExtensions);
        } else {
            const Extension &e = pick(rng, FileExtensions);
            ext = e.text;
            *log2Median = e.log2Median;
        }
        const bool hidden = rng.chance(folder ? 0.06 : 0.04);

        // Total length: mostly 6 to 20 bytes, a tail up to the limit.
        int total;
        if (rng.chance(0.05))
            total = 30 + int(rng.below(MaxNameBytes - 30 + 1));
        else
            total = int(std::lround(std::exp(std::log(12.0) + 0.45 * rng.normal())));
        total = std::clamp(total, MinNameBytes, MaxNameBytes);
        const int stemBytes = std::max(2, total - int(ext.size()) - (hidden ? 1 : 0));

        std::string stem;
        const double style = rng.unit();
        if (style < 0.08) {
            // Hash-like names of caches and object stores.
            static constexpr char Hex[] = "0123456789abcdef";
            for (int i = 0; i < stemBytes; ++i)
                stem += Hex[rng.below(16)];
        } else if (style < 0.18) {
            // Camera and counter style: IMG_0042, report-2021-05-03.
            stem = Words[rng.below(Words.size())];
            stem += rng.chance(0.5) ? '_' : '-';
            if (rng.chance(0.5)) {
                char buf[32];
                std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", unsigned(2000 + rng.below(27)),
                    unsigned(1 + rng.below(12)), unsigned(1 + rng.below(28)));
                stem += buf;
            } else {
                stem += std::to_string(rng.below(100000));
            }
        } else {
            static constexpr std::array<Weighted<std::string_view>, 5> Separators {{
                {"_", 35},
                {"-", 25},
                {"", 20},
                {" ", 12},
                {".", 8},
            }};
            const std::string_view sep = pick(rng, Separators);
            while (int(stem.size()) < stemBytes) {
                if (!stem.empty())
                    stem += sep;
                if (rng.chance(0.04)) {
                    stem += ForeignWords[rng.below(ForeignWords.size())];
                } else {
                    std::string w(Words[rng.below(Words.size())]);
                    if (sep.empty() && w[0] >= 'a' && w[0] <= 'z')
                        w[0] = char(w[0] - 'a' + 'A');
                    stem += w;
                }
            }
        }
        stem.resize(utf8Floor(stem, std::size_t(stemBytes)));
        while (!stem.empty() && (stem.back() == ' ' || stem.back() == '.'))
            stem.pop_back();

        std::string name = hidden ? "." : "";
        name += stem;
        name += ext;
        while (int(name.size()) < MinNameBytes)
            name.insert(hidden ? 1 : 0, 1, char('a' + rng.below(26)));
        return name;
    }

    const Plan &m_plan;
    const unsigned m_jobs;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Task> m_queue;
    unsigned m_waiting = 0;
    std::size_t m_outstanding = 0;
};

// The deep shapes: level k (1..depth) is a folder inside level k-1 (DEST is level 0).
// In a comb every level also holds two empty folders, and the folder that leads deeper
// is listed before them wherever the file system lets us arrange it, so a walk in
// listing order must come back to every level after the deepest one. Names are "d"
// (deeper), "a" and "b" (empty), with a number added where a rename was needed to
// get that order (on ext4 the listing follows a hash of the name).
Made makeDeep(int destFd, std::uint64_t depth, bool comb, std::uint64_t &deeperFirst)
{
    Made made;
    const auto fail = [](const char *what, std::uint64_t level, const std::string &name) {
        std::fprintf(stderr, "folvane-make-tree: %s %s at level %llu: %s\n", what, name.c_str(),
            static_cast<unsigned long long>(level), std::strerror(errno));
        std::exit(1);
    };
    const auto makeFolder = [&](int fd, std::uint64_t level, const std::string &name) {
        if (::mkdirat(fd, name.c_str(), 0755) != 0)
            fail("mkdir", level, name);
        ++made.folders;
    };
    const auto rename = [&](int fd, std::uint64_t level, std::string &name, char stem, int attempt) {
        std::string other(1, stem);
        other += std::to_string(attempt);
        if (::renameat(fd, name.c_str(), fd, other.c_str()) != 0)
            fail("rename", level, name);
        name = std::move(other);
    };
    // Whether `first` comes before every other entry of the folder but . and ..
    const auto listedFirst = [&](int fd, std::uint64_t level, const std::string &first) {
        const int own = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR *dir = own >= 0 ? ::fdopendir(own) : nullptr;
        if (!dir)
            fail("list", level, ".");
        bool result = false;
        while (const dirent *e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
                result = first == e->d_name;
                break;
            }
        }
        ::closedir(dir);
        return result;
    };

    deeperFirst = 0;
    int fd = destFd; // the folder of level - 1
    for (std::uint64_t level = 1; level <= depth; ++level) {
        std::string name = "d";
        makeFolder(fd, level, name);
        if (comb && level > 1) {
            std::string a = "a", b = "b";
            makeFolder(fd, level, a);
            makeFolder(fd, level, b);
            // Rename in turn the deeper folder and both empty ones: whichever hashes
            // to the front, a few renames put the deeper one first.
            for (int attempt = 1; attempt <= 60; ++attempt) {
                if (listedFirst(fd, level, name)) {
                    ++deeperFirst;
                    break;
                }
                if (attempt % 2)
                    rename(fd, level, name, 'd', attempt);
                else {
                    rename(fd, level, a, 'a', attempt);
                    rename(fd, level, b, 'b', attempt);
                }
            }
            made.nameBytes += a.size() + b.size();
        }
        made.nameBytes += name.size();
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0)
            fail("open", level, name);
        if (fd != destFd)
            ::close(fd);
        fd = next;
        made.maxDepth = int(level);
    }
    if (comb) {
        makeFolder(fd, depth + 1, "a");
        makeFolder(fd, depth + 1, "b");
        made.nameBytes += 2;
        made.maxDepth = int(depth + 1);
    }
    if (fd != destFd)
        ::close(fd);
    // DEST holds one folder; a comb's level holds a, b and the next level but the last.
    made.largestFolder = depth == 0 ? 0 : !comb ? 1 : depth > 1 ? 3 : 2;
    return made;
}

void usage(std::FILE *to)
{
    std::fputs("Usage: folvane-make-tree --entries N [--seed S] [--now EPOCH] [--jobs J] DEST\n"
               "       folvane-make-tree --comb DEPTH DEST\n"
               "       folvane-make-tree --chain DEPTH DEST\n"
               "Makes a tree of exactly N files and folders below DEST (created if missing,\n"
               "must be empty). File sizes are sparse. Time stamps fall in the five years\n"
               "before EPOCH (default 1767225600, 2026-01-01 UTC), so a seed always gives the\n"
               "same tree. J threads create entries (default: one per core).\n"
               "--chain makes DEPTH folders, each inside the one before (DEPTH entries);\n"
               "--comb makes the same chain with two empty folders at every level (3 x DEPTH\n"
               "entries), the folder that leads deeper listed before them where the file\n"
               "system allows. Their paths may run far beyond PATH_MAX.\n"
               "Prints what it made on standard output.\n",
        to);
}

bool parseNumber(const char *text, std::uint64_t &out)
{
    char *end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || text[0] == '-')
        return false;
    out = v;
    return true;
}

bool makeDestination(const std::string &dest)
{
    // mkdir -p, then insist on an empty folder so the count comes out exact.
    for (std::size_t i = 1; i <= dest.size(); ++i) {
        if (i == dest.size() || dest[i] == '/') {
            const std::string part = dest.substr(0, i);
            if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
                std::fprintf(stderr, "folvane-make-tree: mkdir %s: %s\n", part.c_str(), std::strerror(errno));
                return false;
            }
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::uint64_t entries = 0;
    std::uint64_t seed = 1;
    std::uint64_t now = 1767225600;
    std::uint64_t jobs = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    bool haveEntries = false;
    std::uint64_t depth = 0;
    const char *shape = nullptr; // "comb" or "chain"; nullptr for --entries
    std::string dest;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--entries" && hasValue) {
            if (!parseNumber(argv[++i], entries) || entries > 0xFFFFFFF0ull) {
                std::fprintf(stderr, "folvane-make-tree: bad --entries '%s'\n", argv[i]);
                return 2;
            }
            haveEntries = true;
        } else if ((arg == "--comb" || arg == "--chain") && hasValue) {
            if (!parseNumber(argv[++i], depth) || depth == 0 || depth > 0x7FFFFFFFull / 3) {
                std::fprintf(stderr, "folvane-make-tree: bad %s '%s'\n", arg.c_str(), argv[i]);
                return 2;
            }
            shape = arg == "--comb" ? "comb" : "chain";
        } else if (arg == "--seed" && hasValue) {
            if (!parseNumber(argv[++i], seed)) {
                std::fprintf(stderr, "folvane-make-tree: bad --seed '%s'\n", argv[i]);
                return 2;
            }
        } else if (arg == "--jobs" && hasValue) {
            if (!parseNumber(argv[++i], jobs) || jobs == 0 || jobs > 64) {
                std::fprintf(stderr, "folvane-make-tree: bad --jobs '%s'\n", argv[i]);
                return 2;
            }
        } else if (arg == "--now" && hasValue) {
            if (!parseNumber(argv[++i], now)) {
                std::fprintf(stderr, "folvane-make-tree: bad --now '%s'\n", argv[i]);
                return 2;
            }
        } else if (!arg.empty() && arg[0] != '-' && dest.empty()) {
            dest = arg;
        } else {
            usage(stderr);
            return 2;
        }
    }
    if (haveEntries == (shape != nullptr) || dest.empty()) {
        usage(stderr);
        return 2;
    }

    if (!makeDestination(dest))
        return 1;
    const int destFd = ::open(dest.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (destFd < 0) {
        std::fprintf(stderr, "folvane-make-tree: open %s: %s\n", dest.c_str(), std::strerror(errno));
        return 1;
    }
    {
        const int probe = ::dup(destFd);
        DIR *dir = probe >= 0 ? ::fdopendir(probe) : nullptr;
        bool empty = dir != nullptr;
        while (dir) {
            const dirent *e = ::readdir(dir);
            if (!e)
                break;
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
                empty = false;
                break;
            }
        }
        if (dir)
            ::closedir(dir);
        if (!empty) {
            std::fprintf(stderr, "folvane-make-tree: %s is not an empty folder\n", dest.c_str());
            return 1;
        }
    }

    const auto started = std::chrono::steady_clock::now();
    Made made;
    std::uint64_t deeperFirst = 0;
    if (shape) {
        const bool comb = std::strcmp(shape, "comb") == 0;
        entries = comb ? 3 * depth : depth;
        made = makeDeep(destFd, depth, comb, deeperFirst);
        if (comb && deeperFirst + 1 < depth)
            std::fprintf(stderr,
                "folvane-make-tree: the deeper folder is listed first at %llu of %llu levels only\n",
                static_cast<unsigned long long>(deeperFirst), static_cast<unsigned long long>(depth - 1));
    } else {
        const Plan plan = makePlan(entries, seed, std::int64_t(now));
        made = Maker(plan, unsigned(jobs)).run(destFd, dest);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const std::uint64_t total = made.files + made.folders;
    std::printf("entries=%llu\nfiles=%llu\nfolders=%llu\napparent_bytes=%llu\nname_bytes=%llu\n"
                "max_depth=%d\nlargest_folder=%llu\n",
        static_cast<unsigned long long>(total), static_cast<unsigned long long>(made.files),
        static_cast<unsigned long long>(made.folders), static_cast<unsigned long long>(made.bytes),
        static_cast<unsigned long long>(made.nameBytes), made.maxDepth,
        static_cast<unsigned long long>(made.largestFolder));
    if (shape)
        std::printf("shape=%s\ndepth=%llu\n", shape, static_cast<unsigned long long>(depth));
    if (shape && std::strcmp(shape, "comb") == 0)
        std::printf("deeper_first=%llu\n", static_cast<unsigned long long>(deeperFirst));
    else
        std::printf("seed=%llu\n", static_cast<unsigned long long>(seed));
    std::printf("seconds=%.1f\n", seconds);
    return total == entries ? 0 : 1;
}

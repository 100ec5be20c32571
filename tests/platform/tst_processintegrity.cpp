// How the agent vouches for its own process: the rules over a /proc and a file tree of the
// test's own, what it remembers from one check to the next, and this very process's maps.

#include "platform/linux/selfcheck/processintegrity_linux.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qolvi_Desktop_Agent::process_integrity;

namespace {

const QString untraced = "Name:\tqolvi\nTracerPid:\t0\nUid:\t1000\n";
const QString identity = "         0          0 4294967295\n";

QString mapping(const QString &permissions, qulonglong inode, const QString &path) {
    return QStringLiteral("7f0000000000-7f0000001000 %1 00000000 fe:00 %2 %3\n")
        .arg(permissions)
        .arg(inode)
        .arg(path);
}

// What a row changes from an untraced agent in its own namespace, among files of the trusted
// owner that no one else can write (a null modeOf changes no mode).
struct Case {
    QStringList extra;
    QString status;
    QString uidMap;
    QString modeOf;
    int mode = 0;
    bool trustedOwner = true;
};

} // namespace

Q_DECLARE_METATYPE(Case)

class ProcessIntegrityTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_folder;
    QDir m_root;
    Surroundings m_surroundings;

    [[nodiscard]] QString file(const QString &path) const {
        return m_root.filePath("files" + path);
    }
    [[nodiscard]] qulonglong inode(const QString &path) const {
        struct stat entry {};
        return lstat(file(path).toLocal8Bit().constData(), &entry) == 0 ? entry.st_ino : 0;
    }
    void write(const QString &path, const QString &text) const {
        QFile out(m_root.filePath(path));
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(text.toUtf8());
    }
    // The agent's own maps: its executable, a system library in three mappings of which one
    // is executable, the QML engine's compiled code and the vDSO.
    [[nodiscard]] QString systemMaps() const {
        return mapping("r-xp", inode("/home/u/agent"), "/home/u/agent") +
               mapping("r--p", inode("/usr/lib/libgood.so"), "/usr/lib/libgood.so") +
               mapping("r-xp", inode("/usr/lib/libgood.so"), "/usr/lib/libgood.so") +
               mapping("rw-p", inode("/usr/lib/libgood.so"), "/usr/lib/libgood.so") +
               mapping("rwxp", 0, "") + mapping("r-xp", 0, "[vdso]");
    }

private slots:
    void init() {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
        m_root.setPath(m_folder->path());
        QVERIFY(m_root.mkpath("proc/self") && m_root.mkpath("files/usr/lib") &&
                m_root.mkpath("files/home/u"));
        for (const QString &library :
             QStringList{"/usr/lib/libgood.so", "/home/u/hide.so", "/home/u/agent"}) {
            write("files" + library, "code");
            QVERIFY(chmod(file(library).toLocal8Bit().constData(), 0755) == 0);
        }
        for (const QString &folder : QStringList{"", "/usr", "/usr/lib", "/home", "/home/u"}) {
            QVERIFY(chmod(file(folder).toLocal8Bit().constData(), 0755) == 0);
        }
        QVERIFY(QFile::link("/home/u/agent", m_root.filePath("proc/self/exe")));
        write("proc/self/status", untraced);
        write("proc/self/uid_map", identity);
        m_surroundings = {.procRoot = m_root.filePath("proc").toStdString(),
                          .fileRoot = m_root.filePath("files").toStdString(),
                          .trustedOwner = geteuid(),
                          .judgesExecutable = false};
    }

    // Each row: mappings added to the agent's own (path=inode; the inode of the file at the
    // path where none is given), a status and a uid_map in place of the untraced,
    // unnamespaced ones, an entry whose mode changes, whether the files' owner is the trusted
    // one, whether the executable is judged, and the verdict.
    void rules_data() {
        QTest::addColumn<Case>("given");
        QTest::addColumn<bool>("vouches");
        const auto row = [](const char *name, const Case &given, bool vouches) {
            QTest::newRow(name) << given << vouches;
        };
        row("system code, compiled code, the vDSO", {}, true);
        row("a library its group can write", {.modeOf = "/usr/lib/libgood.so", .mode = 0775},
            false);
        row("a folder above it its group can write", {.modeOf = "/usr", .mode = 0775}, false);
        row("the root folder others can write", {.modeOf = "", .mode = 01777}, false);
        row("files of another owner", {.trustedOwner = false}, false);
        row("a user's library in a folder the user can write",
            {.extra = {"/home/u/hide.so"}, .modeOf = "/home/u", .mode = 0775}, false);
        row("another file at the mapped library's path", {.extra = {"/usr/lib/libgood.so=99"}},
            false);
        row("a tracer attached", {.status = "Name:\tqolvi\nTracerPid:\t4242\n"}, false);
        row("a user namespace, where the user's files show as root's",
            {.uidMap = "         0       1000          1\n"}, false);
        row("the executable in a user's folder, not judged", {.modeOf = "/home/u", .mode = 0775},
            true);
    }

    void rules() {
        QFETCH(Case, given);
        QFETCH(bool, vouches);
        QString maps = systemMaps();
        for (const QString &entry : given.extra) {
            const QString path = entry.section(u'=', 0, 0);
            const QString inodeGiven = entry.section(u'=', 1);
            maps += mapping("r-xp", inodeGiven.isEmpty() ? inode(path) : inodeGiven.toULongLong(),
                            path);
        }
        write("proc/self/maps", maps);
        if (!given.status.isEmpty()) {
            write("proc/self/status", given.status);
        }
        if (!given.uidMap.isEmpty()) {
            write("proc/self/uid_map", given.uidMap);
        }
        if (!given.modeOf.isNull()) {
            QVERIFY(chmod(file(given.modeOf).toLocal8Bit().constData(), mode_t(given.mode)) == 0);
        }
        m_surroundings.trustedOwner = given.trustedOwner ? geteuid() : geteuid() + 1;
        QCOMPARE(ProcessVoucher(m_surroundings).vouches(), vouches);
    }

    // A package upgrade during the exam removes libraries the agent has mapped: one vouched for
    // before it went stays vouched for; a tracer attached later is still seen.
    void remembersWhatItVouchedFor() {
        ProcessVoucher voucher(m_surroundings);
        write("proc/self/maps", systemMaps());
        QVERIFY(voucher.vouches());
        const qulonglong good = inode("/usr/lib/libgood.so");
        QVERIFY(QFile::remove(file("/usr/lib/libgood.so")));
        write("proc/self/maps", mapping("r-xp", good, "/usr/lib/libgood.so (deleted)"));
        QVERIFY(voucher.vouches());
        write("proc/self/status", "TracerPid:\t17\n");
        QVERIFY(!voucher.vouches());
    }

    // This test's own process runs the system's libraries alone; code it maps from shared
    // memory, as a loader of hidden code would, is refused at once.
    void thisProcess() {
        const Surroundings own{.judgesExecutable = false};
        QVERIFY(ProcessVoucher(own).vouches());
        const int memory = memfd_create("hidden", MFD_CLOEXEC);
        QVERIFY(memory >= 0 && ftruncate(memory, 4096) == 0);
        void *code = mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE, memory, 0);
        QVERIFY(code != MAP_FAILED);
        QVERIFY(!ProcessVoucher(own).vouches());
        munmap(code, 4096);
        close(memory);
    }
};

QTEST_GUILESS_MAIN(ProcessIntegrityTest)
#include "tst_processintegrity.moc"

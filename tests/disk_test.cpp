// Saving onto disks that fail: read-only, full, and over an existing file. Each failure names
// the file and the reason, leaves the editor and any earlier file as they were, and leaves no
// temporary file behind. The disks are small tmpfs mounts made for the test.
#include "platform/exception.h"
#include "platform/richedit.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

class FailingDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        mountPoint_ = dir_.filePath("disk");
        QDir().mkpath(mountPoint_);
        if (!Run("mount -t tmpfs -o size=64k zimbrots-test '" + mountPoint_ + "'"))
            GTEST_SKIP() << "mounting a small tmpfs needs root; the save-failure tests in window_test still run";
        mounted_ = true;
        edit_.Lines()->SetText(QString("Labdien, Žūžū! ").repeated(8000));  // about 140 KB of RTF
        html_ = edit_.toHtml();
    }
    void TearDown() override
    {
        if (mounted_)
            Run("umount '" + mountPoint_ + "'");
    }
    static bool Run(const QString& command) { return std::system(command.toLocal8Bit().constData()) == 0; }
    QString Path(const QString& name) const { return mountPoint_ + "/" + name; }
    void Write(const QString& name, const QByteArray& bytes)
    {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    static QByteArray Read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    }
    QString SaveError(const QString& name)
    {
        try {
            edit_.Lines()->SaveToFile(Path(name));
        } catch (const Exception& e) {
            return e.Message();
        }
        return QString();
    }
    QStringList Files() const { return QDir(mountPoint_).entryList(QDir::Files | QDir::Hidden | QDir::System); }

    QTemporaryDir dir_;
    QString mountPoint_;
    bool mounted_ = false;
    TRichEdit edit_;
    QString html_;
};

TEST_F(FailingDisk, ReadOnlyDirectory)
{
    Write("old.rtf", "earlier file");
    ASSERT_TRUE(Run("mount -o remount,ro '" + mountPoint_ + "'"));
    QString error = SaveError("new.rtf");
    EXPECT_TRUE(error.startsWith("Cannot save \"new.rtf\": ")) << error.toStdString();
    EXPECT_TRUE(error.contains("Read-only file system", Qt::CaseInsensitive)) << error.toStdString();
    error = SaveError("old.rtf");
    EXPECT_TRUE(error.startsWith("Cannot save \"old.rtf\": ")) << error.toStdString();
    EXPECT_EQ(Read(Path("old.rtf")), "earlier file");
    EXPECT_EQ(Files(), QStringList{"old.rtf"});
    EXPECT_EQ(edit_.toHtml(), html_);
}

TEST_F(FailingDisk, FullDiskOverAnExistingFile)
{
    Write("old.rtf", "earlier file");
    QString error = SaveError("old.rtf");
    EXPECT_TRUE(error.startsWith("Cannot save \"old.rtf\": ")) << error.toStdString();
    EXPECT_TRUE(error.contains("No space left on device", Qt::CaseInsensitive)) << error.toStdString();
    EXPECT_EQ(Read(Path("old.rtf")), "earlier file") << "the earlier file is kept byte for byte";
    EXPECT_EQ(Files(), QStringList{"old.rtf"}) << "no temporary file is left behind";
    EXPECT_EQ(edit_.toHtml(), html_);

    error = SaveError("new.rtf");
    EXPECT_TRUE(error.contains("No space left on device", Qt::CaseInsensitive)) << error.toStdString();
    EXPECT_EQ(Files(), QStringList{"old.rtf"});

    // Once there is room, the same save succeeds and replaces the file whole.
    edit_.Lines()->SetText("short");
    EXPECT_EQ(SaveError("old.rtf"), QString());
    EXPECT_TRUE(Read(Path("old.rtf")).startsWith("{\\rtf1"));
    EXPECT_EQ(Files(), QStringList{"old.rtf"});
}

}  // namespace

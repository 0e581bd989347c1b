// Runs a fuzz target over files and folders of inputs, so that the ordinary build and test
// suite replay the corpus without libFuzzer.
#include <QtCore/QDirIterator>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* a_pData, size_t a_uiSize);

int main(int argc, char* argv[])
{
    int iRuns = 0;
    for (int i = 1; i < argc; ++i) {
        const QString strPath = QString::fromLocal8Bit(argv[i]);
        QStringList lstFiles;
        if (QFileInfo(strPath).isDir()) {
            QDirIterator it(strPath, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                lstFiles.append(it.next());
        } else {
            lstFiles.append(strPath);
        }
        lstFiles.sort();
        for (const QString& strFile : lstFiles) {
            QFile objFile(strFile);
            if (!objFile.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(strFile));
                return 2;
            }
            const QByteArray ba = objFile.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(ba.constData()), size_t(ba.size()));
            ++iRuns;
        }
    }
    std::printf("replayed %d input(s)\n", iRuns);
    return iRuns > 0 ? 0 : 1;
}

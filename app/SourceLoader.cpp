#include "SourceLoader.h"

#include "export/Resampler.h"

#include <QFileInfo>

SourceLoader::SourceLoader(QObject *parent)
    : QObject(parent)
{
    // A stopped load may still be ending its worker while the next one starts.
    m_pool.setMaxThreadCount(2);
}

SourceLoader::~SourceLoader()
{
    if (m_cancel)
        m_cancel->store(true);
    // Results posted to this object after it is gone are dropped by Qt; a job still running
    // posts to it, so it must end first.
    m_pool.waitForDone();
}

void SourceLoader::loadFile(const QString &path, Done done)
{
    load(
        QFileInfo(path).fileName(),
        [path](const std::atomic_bool *cancel) { return SourceImage::fromFile(path, cancel); },
        std::move(done));
}

void SourceLoader::loadData(const QByteArray &data, const QString &name, Done done)
{
    load(
        name,
        [data, name](const std::atomic_bool *cancel) {
            return SourceImage::fromData(data, name, cancel);
        },
        std::move(done));
}

void SourceLoader::cancel()
{
    if (!m_busy)
        return;
    m_cancel->store(true);
    ++m_generation;
    setBusy(false);
    emit cancelled(m_name);
}

void SourceLoader::load(const QString &name, Load load, Done done)
{
    if (m_cancel)
        m_cancel->store(true);
    m_cancel = std::make_shared<std::atomic_bool>(false);
    const quint64 generation = ++m_generation;
    m_name = name;
    setBusy(true);
    m_pool.start(
        [this, generation, flag = m_cancel, load = std::move(load), done = std::move(done)] {
            const SourceImage::Loaded loaded = load(flag.get());
            const QImage picture =
                loaded.image && !flag->load() ? pictureOf(*loaded.image, PictureBound) : QImage();
            QMetaObject::invokeMethod(
                this,
                [this, generation, loaded, picture, done] {
                    if (generation != m_generation)
                        return;
                    setBusy(false);
                    done(loaded, picture);
                },
                Qt::QueuedConnection);
        });
}

void SourceLoader::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
}

// The export's own resampler spreads the rows over the cores, where Qt's smooth scaling takes a
// fifth of a second on one core for a 4096 source.
QImage SourceLoader::pictureOf(const SourceImage &image, int bound)
{
    const QSize shown =
        image.size().toSize().scaled(bound, bound, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    if (image.isVector())
        return image.renderVector({shown}).images.value(0);
    const QImage bitmap = image.bitmapFor(shown);
    if (bitmap.width() <= bound && bitmap.height() <= bound)
        return bitmap;
    const QSize fitted = bitmap.size().scaled(shown, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    return Resampler::resample(bitmap, fitted.width(), fitted.height());
}

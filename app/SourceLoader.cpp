#include "SourceLoader.h"

#include "export/Resampler.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace {

constexpr SourceLoader::Role Roles[] = {SourceLoader::Role::Main, SourceLoader::Role::Dark,
                                        SourceLoader::Role::Tinted, SourceLoader::Role::Back};

QString kindOf(SourceLoader::Role role)
{
    return QStringLiteral("read %1").arg(int(role));
}

const QString PictureWork = QStringLiteral("picture");

// The export's own resampler spreads the rows over the cores, where Qt's smooth scaling takes a
// fifth of a second on one core for a 4096 source.
QImage pictureOf(const SourceImage &image, QSize box, const std::atomic_bool *cancel, QString *why)
{
    if (image.isVector()) {
        const SourceImage::Drawn drawn =
            image.renderVector({SourceLoader::fitted(image.size(), box)}, cancel);
        *why = drawn.error;
        return drawn.images.value(0);
    }
    const int bound = SourceLoader::PictureBound;
    const QSize shown =
        image.size().toSize().scaled(bound, bound, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    const QImage bitmap = image.pictureFor(shown);
    if (bitmap.width() <= bound && bitmap.height() <= bound)
        return bitmap;
    const QSize fitted = bitmap.size().scaled(shown, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    return Resampler::resample(bitmap, fitted.width(), fitted.height());
}

} // namespace

SourceLoader::SourceLoader(BackgroundWork *work, QObject *parent)
    : QObject(parent)
    , m_work(work)
{
    connect(work, &BackgroundWork::busyChanged, this, [this](const QString &kind, bool busy) {
        for (Role role : Roles) {
            if (kind == kindOf(role))
                emit busyChanged(role, busy);
        }
    });
}

void SourceLoader::loadFile(Role role, const QString &path, Done done)
{
    start(
        role, nameOf(path),
        [this, role, path](const BackgroundWork::Request &request) {
            int told = -1;
            const auto progress = [&](int rows, int of) {
                const int percent = of > 0 ? int(qint64(rows) * 100 / of) : 0;
                if (percent != told)
                    request.post([this, role, percent] { emit progressed(role, percent); });
                told = percent;
            };
            return SourceFile::open(path, SourceFile::Looks::All, request.cancel(), progress);
        },
        std::move(done));
}

QString SourceLoader::nameOf(const QString &path)
{
    const QString bundle = SourceFile::documentOf(path);
    return QFileInfo(QDir::cleanPath(bundle.isEmpty() ? path : bundle)).fileName();
}

void SourceLoader::load(Role role, const QString &name, Load load, Done done)
{
    start(
        role, name,
        [load = std::move(load)](const BackgroundWork::Request &request) {
            return load(request.cancel());
        },
        std::move(done));
}

void SourceLoader::start(Role role, const QString &name, Job job, Done done)
{
    m_names[int(role)] = name;
    const QSize box = m_pictureBox.isEmpty() ? QSize(PictureBound, PictureBound) : m_pictureBox;
    m_work->start<Read>(
        kindOf(role),
        [role, box, job = std::move(job)](const BackgroundWork::Request &request) {
            Read read{job(request), {}, {}, {}};
            if (role != Role::Main || !read.loaded.image)
                return read;
            if (!request.isStopped())
                read.picture =
                    pictureOf(*read.loaded.image, box, request.cancel(), &read.noPicture);
            if (!request.isStopped())
                read.layers = SourceLayers::ofDrawing(*read.loaded.image, request.cancel());
            return read;
        },
        std::move(done));
}

QSize SourceLoader::fitted(QSizeF size, QSize box)
{
    const QSizeF within = QSizeF(box.expandedTo(QSize(1, 1)));
    const double scale = std::min(within.width() / size.width(), within.height() / size.height());
    if (!std::isfinite(scale) || !(scale > 0))
        return QSize(1, 1);
    const auto side = [](double length) {
        return int(std::clamp(std::round(length), 1.0, double(LargestPicture)));
    };
    return {side(size.width() * scale), side(size.height() * scale)};
}

void SourceLoader::drawPicture(const SourceImagePtr &image, QSize size, Drawn done)
{
    m_work->start<QImage>(
        PictureWork,
        [image, size](const BackgroundWork::Request &request) {
            return image->renderVector({size}, request.cancel()).images.value(0);
        },
        std::move(done));
}

void SourceLoader::stopPicture()
{
    m_work->stop(PictureWork);
}

void SourceLoader::cancel()
{
    for (Role role : Roles) {
        if (m_work->stop(kindOf(role)))
            emit cancelled(m_names[int(role)]);
    }
}

bool SourceLoader::isBusy() const
{
    return std::any_of(std::begin(Roles), std::end(Roles),
                       [this](Role role) { return m_work->isBusy(kindOf(role)); });
}

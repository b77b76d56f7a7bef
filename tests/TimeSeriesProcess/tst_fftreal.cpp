#include "ffft/FFTKernels.h"
#include "ffft/FFTReal.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <complex>
#include <cstring>
#include <vector>

namespace {

const double Pi = 3.141592653589793;

std::vector<double> randomBlock(int n, quint32 seed)
{
    QRandomGenerator rng(seed);
    std::vector<double> x(n);
    for (double& v : x)
        v = rng.generateDouble() * 2 - 1;
    return x;
}

std::vector<double> fft(const std::vector<double>& x)
{
    ffft::FFTReal<double> transform(int(x.size()));
    std::vector<double> f(x.size());
    transform.transform(f.data(), x.data());
    return f;
}

// Direct DFT of the bins 0 .. N/2, with a table of exact twiddles indexed by (k n mod N).
std::vector<std::complex<double> > directDft(const std::vector<double>& x)
{
    const int n = int(x.size());
    std::vector<double> c(n), s(n);
    for (int m = 0; m < n; ++m) {
        c[m] = double(std::cos(2 * 3.14159265358979323846264338L * m / n));
        s[m] = double(std::sin(2 * 3.14159265358979323846264338L * m / n));
    }
    std::vector<std::complex<double> > X(n / 2 + 1);
    for (int k = 0; k <= n / 2; ++k) {
        double re = 0, im = 0;
        int idx = 0;
        for (int t = 0; t < n; ++t) {
            re += x[t] * c[idx];
            im -= x[t] * s[idx];
            idx += k;
            if (idx >= n)
                idx -= n;
        }
        X[k] = {re, im};
    }
    return X;
}

std::complex<double> directBin(const std::vector<double>& x, int k)
{
    const int n = int(x.size());
    long double re = 0, im = 0;
    for (int t = 0; t < n; ++t) {
        const long double a = 2 * 3.14159265358979323846264338L * ((qint64(k) * t) % n) / n;
        re += x[t] * std::cos(a);
        im -= x[t] * std::sin(a);
    }
    return {double(re), double(im)};
}

// Bin k of the transform's output in the documented layout.
std::complex<double> outputBin(const std::vector<double>& f, int k)
{
    const int n = int(f.size());
    if (k == 0 || k == n / 2)
        return {f[k], 0.0};
    return {f[k], -f[n / 2 + k]};
}

// The transform as it was before the vector kernels: radix-2 passes one after the other,
// twiddles from the cosine table up to pass 12 and from an oscillator restarted at every
// block above. Kept here, operation for operation, as the reference for bit identity.
std::vector<double> passByPassFft(const std::vector<double>& x)
{
    const int n = int(x.size());
    int bits = 0;
    while ((1 << bits) < n)
        ++bits;
    std::vector<int> br(n);
    for (int i = 0; i < n; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b)
            r |= ((i >> b) & 1) << (bits - 1 - b);
        br[i] = r;
    }
    std::vector<double> f(n), buffer(n);
    double* df = bits & 1 ? buffer.data() : f.data();
    double* sf = bits & 1 ? f.data() : buffer.data();
    for (int i = 0; i < n; i += 4) {
        const double a = x[br[i]], b = x[br[i + 1]], c = x[br[i + 2]], d = x[br[i + 3]];
        df[i + 1] = a - b;
        df[i + 3] = c - d;
        df[i] = (a + b) + (c + d);
        df[i + 2] = (a + b) - (c + d);
    }
    const double r2 = 0.7071067811865476;
    for (int i = 0; i < n; i += 8) {
        sf[i] = df[i] + df[i + 4];
        sf[i + 4] = df[i] - df[i + 4];
        sf[i + 2] = df[i + 2];
        sf[i + 6] = df[i + 6];
        double v = (df[i + 5] - df[i + 7]) * r2;
        sf[i + 1] = df[i + 1] + v;
        sf[i + 3] = df[i + 1] - v;
        v = (df[i + 5] + df[i + 7]) * r2;
        sf[i + 5] = v + df[i + 3];
        sf[i + 7] = v - df[i + 3];
    }
    for (int pass = 3; pass < bits; ++pass) {
        const int m = 1 << pass, h = m / 2;
        const double stepAngle = (Pi / 2) / double(1 << (pass - 1));
        const double stepCos = std::cos(stepAngle), stepSin = std::sin(stepAngle);
        for (int c = 0; c < n; c += 2 * m) {
            const double *s1r = sf + c, *s2r = s1r + m, *s1i = s1r + h, *s2i = s1i + m;
            double *dfr = df + c, *dfi = dfr + m;
            dfr[0] = s1r[0] + s2r[0];
            dfi[0] = s1r[0] - s2r[0];
            dfr[h] = s1r[h];
            dfi[h] = s2r[h];
            double oscCos = 1, oscSin = 0;
            for (int i = 1; i < h; ++i) {
                double ci, si;
                if (pass <= 12) {
                    ci = std::cos(i * (Pi / double(1 << pass)));
                    si = std::cos((h - i) * (Pi / double(1 << pass)));
                } else {
                    const double oldCos = oscCos, oldSin = oscSin;
                    oscCos = oldCos * stepCos - oldSin * stepSin;
                    oscSin = oldCos * stepSin + oldSin * stepCos;
                    ci = oscCos;
                    si = oscSin;
                }
                double v = s2r[i] * ci - s2i[i] * si;
                dfr[i] = s1r[i] + v;
                dfi[-i] = s1r[i] - v;
                v = s2r[i] * si + s2i[i] * ci;
                dfi[i] = v + s1i[i];
                dfi[m - i] = v - s1i[i];
            }
        }
        std::swap(df, sf);
    }
    return f;
}

double l1(const std::vector<double>& x)
{
    double sum = 0;
    for (double v : x)
        sum += std::fabs(v);
    return sum;
}

} // namespace

class TestFFTReal : public QObject
{
    Q_OBJECT
private slots:
    void bitIdenticalToPassByPass();
    void matchesDirectDft_data();
    void matchesDirectDft();
    void longLengthsMatchSampledBins_data();
    void longLengthsMatchSampledBins();
    void shortLengthsAreComputedDirectly();
    void eightPointsEndAfterThirdPass();
    void outputLayoutOfConstantCosineAndSine();
    void inputUntouchedAndObjectReusable();
    void nonPowerOfTwoLengthStopsTheProgram();
};

void TestFFTReal::bitIdenticalToPassByPass()
{
    // Both kernels, every length the pipeline could use, random input and a taper folded
    // into the read: the same bits as the passes one after the other on the tapered block.
    for (bool plain : {false, true}) {
        ffft::forcePlainKernel(plain);
        for (int n = 64; n <= 65536; n *= 2) {
            const std::vector<double> x = randomBlock(n, quint32(n + plain));
            std::vector<double> window(n), tapered(n);
            const double scale = 1000.0 / 37;
            for (int i = 0; i < n; ++i) {
                window[i] = 0.5 + 0.5 * std::cos(i * Pi / n);
                tapered[i] = x[i] * scale * window[i];
            }
            ffft::FFTReal<double> transform(n);
            std::vector<double> f(n), fw(n);
            transform.transform(f.data(), x.data());
            transform.transform_windowed(fw.data(), x.data(), window.data(), scale);
            const QByteArray where = QByteArray::number(n) + (plain ? " plain" : " vector");
            QVERIFY2(std::memcmp(f.data(), passByPassFft(x).data(), sizeof(double) * n) == 0, where.constData());
            QVERIFY2(std::memcmp(fw.data(), passByPassFft(tapered).data(), sizeof(double) * n) == 0, where.constData());
        }
    }
    ffft::forcePlainKernel(false);
    if (!ffft::avx2Available())
        qWarning("no AVX2 on this machine: only the plain kernel was compared");
}

void TestFFTReal::matchesDirectDft_data()
{
    QTest::addColumn<int>("n");
    for (int n : {8, 16, 32, 64, 256, 1024, 4096, 8192, 16384})
        QTest::newRow(qPrintable(QString::number(n))) << n;
}

void TestFFTReal::matchesDirectDft()
{
    QFETCH(int, n);
    const std::vector<double> x = randomBlock(n, quint32(n));
    const std::vector<double> f = fft(x);
    const std::vector<std::complex<double> > X = directDft(x);
    // Error relative to the largest possible bin magnitude: rounding only (about 1e-15);
    // a wrong twiddle, table level or oscillator step is off by far more.
    const double scale = l1(x);
    double worst = 0;
    for (int k = 0; k <= n / 2; ++k)
        worst = std::max(worst, std::abs(outputBin(f, k) - X[k]) / scale);
    QVERIFY2(worst < 1e-13, qPrintable(QStringLiteral("relative error %1").arg(worst)));
}

void TestFFTReal::longLengthsMatchSampledBins_data()
{
    QTest::addColumn<int>("n");
    // 2^15 and 2^16 run two and three passes on the oscillators.
    QTest::newRow("32768") << 32768;
    QTest::newRow("65536") << 65536;
}

void TestFFTReal::longLengthsMatchSampledBins()
{
    QFETCH(int, n);
    const std::vector<double> x = randomBlock(n, 7);
    const std::vector<double> f = fft(x);
    const double scale = l1(x);
    QRandomGenerator rng(11);
    QList<int> bins = {0, 1, 2, n / 4 - 1, n / 4, n / 4 + 1, n / 2 - 1, n / 2};
    for (int i = 0; i < 24; ++i)
        bins.append(int(rng.bounded(n / 2 + 1)));
    for (int k : bins) {
        const double error = std::abs(outputBin(f, k) - directBin(x, k)) / scale;
        QVERIFY2(error < 1e-13, qPrintable(QStringLiteral("bin %1 relative error %2").arg(k).arg(error)));
    }
}

void TestFFTReal::shortLengthsAreComputedDirectly()
{
    QCOMPARE(fft({3.5}), std::vector<double>({3.5}));
    QCOMPARE(fft({1, 2}), std::vector<double>({3, -1}));
    // x0 .. x3 = 1, 2, 4, 8: sum, x0 - x2, (x0 + x2) - (x1 + x3), x1 - x3
    QCOMPARE(fft({1, 2, 4, 8}), std::vector<double>({15, -3, -5, -6}));
}

void TestFFTReal::eightPointsEndAfterThirdPass()
{
    const std::vector<double> x = {1, -2, 3, 0.5, -4, 6, 2, -1};
    const std::vector<double> f = fft(x);
    for (int k = 0; k <= 4; ++k) {
        const std::complex<double> expected = directBin(x, k);
        QVERIFY(std::abs(outputBin(f, k) - expected) < 1e-12);
    }
}

void TestFFTReal::outputLayoutOfConstantCosineAndSine()
{
    const int n = 16384;
    const int k0 = 37;
    std::vector<double> constant(n, 0.25), cosine(n), sine(n);
    for (int t = 0; t < n; ++t) {
        cosine[t] = std::cos(2 * Pi * k0 * t / n);
        sine[t] = std::sin(2 * Pi * k0 * t / n);
    }

    const std::vector<double> fc = fft(constant);
    QCOMPARE(fc[0], n * 0.25);
    for (int i = 1; i < n; ++i)
        QVERIFY2(std::fabs(fc[i]) < 1e-9, qPrintable(QString::number(i)));

    const std::vector<double> fcos = fft(cosine);
    QVERIFY(std::fabs(fcos[k0] - n / 2.0) < 1e-8);
    QVERIFY(std::fabs(fcos[n / 2 + k0]) < 1e-8);

    // The stored value is the negated imaginary part: +N/2 for a sine.
    const std::vector<double> fsin = fft(sine);
    QVERIFY(std::fabs(fsin[n / 2 + k0] - n / 2.0) < 1e-8);
    QVERIFY(std::fabs(fsin[k0]) < 1e-8);
    for (int i = 0; i < n; ++i) {
        if (i != k0 && i != n / 2 + k0) {
            QVERIFY2(std::fabs(fcos[i]) < 1e-8, qPrintable(QString::number(i)));
            QVERIFY2(std::fabs(fsin[i]) < 1e-8, qPrintable(QString::number(i)));
        }
    }

    // The Nyquist term sits at N/2: an alternating sequence.
    std::vector<double> alternating(n);
    for (int t = 0; t < n; ++t)
        alternating[t] = t % 2 ? -1 : 1;
    QCOMPARE(fft(alternating)[n / 2], double(n));
}

void TestFFTReal::inputUntouchedAndObjectReusable()
{
    const int n = 16384;
    const std::vector<double> x = randomBlock(n, 3);
    const std::vector<double> copy = x;
    ffft::FFTReal<double> transform(n);
    std::vector<double> first(n), second(n);
    transform.transform(first.data(), x.data());
    transform.transform(second.data(), x.data());
    QVERIFY(x == copy);
    QVERIFY(std::memcmp(first.data(), second.data(), sizeof(double) * n) == 0);
}

void TestFFTReal::nonPowerOfTwoLengthStopsTheProgram()
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--length-12")});
    QVERIFY(child.waitForFinished(30000));
    QVERIFY(child.exitStatus() == QProcess::CrashExit || child.exitCode() != 0);
    QVERIFY(child.readAllStandardError().contains("FFTReal_is_pow2 (length)"));
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--length-12") == 0) {
        ffft::FFTReal<double> transform(12);
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestFFTReal test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fftreal.moc"

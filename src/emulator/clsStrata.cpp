#include "clsStrata.h"

#include "NumberReader.h"
#include "SystemClock.h"
#include "TimeSeededRandom.h"

#include <cmath>
#include <stdexcept>

clsStrata::clsStrata(std::shared_ptr<EmulatorClock> clock, std::shared_ptr<RandomSource> random)
    : m_clock(clock ? std::move(clock) : std::make_shared<SystemClock>()),
      m_random(random ? std::move(random) : std::make_shared<TimeSeededRandom>())
{
}

void clsStrata::reset()
{
    iLeadNumber = 0;
    iFourDigitIndex = 0;
    sMeasureUnit = "(RAW)";
    sTempUnit = "(C)";
}

void clsStrata::setFourDigitIndex(QByteArrayView text)
{
    if (const auto index = NumberReader::toInt16(NumberReader::leadingNumber(text)))
        iFourDigitIndex = *index;
}

QByteArray clsStrata::getFourDigitIndex() const
{
    return (QByteArray("0000") + QByteArray::number(iFourDigitIndex)).right(4);
}

QByteArray clsStrata::nextOutput()
{
    QByteArray line = QByteArray::number(iLeadNumber);
    line += ' ';
    line += getFourDigitIndex();
    line += " :: ";
    // The date is read before the time, each when its piece is built.
    line += m_clock->localNow().date().toString(u"MM-dd-yyyy").toLatin1();
    line += ' ';
    line += m_clock->localNow().time().toString(u"HH:mm:ss").toLatin1();
    line += " = ";
    line += randomMeasurement();
    line += ' ';
    line += sMeasureUnit;
    line += "  ";
    line += randomTemperature();
    line += ' ';
    line += sTempUnit;
    line += "\r\n";
    return line;
}

QByteArray clsStrata::randomMeasurement() { return randomBetween(iMinMeasurement, iMaxMeasurement); }

QByteArray clsStrata::randomTemperature() { return randomBetween(iMinTemperature, iMaxTemperature); }

QByteArray clsStrata::randomBetween(std::int16_t min, std::int16_t max)
{
    m_random->reseed(m_clock->localNow().time().msecsSinceStartOfDay() / 1000.0);
    const float r = m_random->next();

    // span = max - min + 1 in 16-bit arithmetic: each step must stay in range.
    const int difference = int(max) - int(min);
    if (difference < INT16_MIN || difference > INT16_MAX)
        throw std::overflow_error("Overflow");
    const int span = difference + 1;
    if (span > INT16_MAX)
        throw std::overflow_error("Overflow");

    const double value = std::floor(double(span) * double(r) + double(min));
    return QByteArray::number(static_cast<long long>(value));
}

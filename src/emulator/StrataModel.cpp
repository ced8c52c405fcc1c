#include "StrataModel.h"

#include "NumberReader.h"
#include "SystemClock.h"
#include "TimeSeededRandom.h"

#include <cmath>
#include <stdexcept>

StrataModel::StrataModel(std::shared_ptr<EmulatorClock> clock, std::shared_ptr<RandomSource> random)
    : m_clock(clock ? std::move(clock) : std::make_shared<SystemClock>()),
      m_random(random ? std::move(random) : std::make_shared<TimeSeededRandom>())
{
}

void StrataModel::reset()
{
    m_leadNumber = 0;
    m_fourDigitIndex = 0;
    m_measureUnit = "(RAW)";
    m_temperatureUnit = "(C)";
}

void StrataModel::setFourDigitIndex(QByteArrayView text)
{
    if (const auto index = NumberReader::toInt16(NumberReader::leadingNumber(text)))
        m_fourDigitIndex = *index;
}

QByteArray StrataModel::getFourDigitIndex() const
{
    return (QByteArray("0000") + QByteArray::number(m_fourDigitIndex)).right(4);
}

QByteArray StrataModel::nextOutput()
{
    QByteArray line = QByteArray::number(m_leadNumber);
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
    line += m_measureUnit;
    line += "  ";
    line += randomTemperature();
    line += ' ';
    line += m_temperatureUnit;
    line += "\r\n";
    return line;
}

QByteArray StrataModel::randomMeasurement() { return randomBetween(m_minMeasurement, m_maxMeasurement); }

QByteArray StrataModel::randomTemperature() { return randomBetween(m_minTemperature, m_maxTemperature); }

QByteArray StrataModel::randomBetween(std::int16_t min, std::int16_t max)
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

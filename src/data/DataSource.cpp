#include "data/DataSource.h"

#include "data/Table.h"

DataSource::DataSource(QObject* parent)
    : QObject(parent)
{
}

DataSource::~DataSource()
{
    setDataSet(nullptr);
}

void DataSource::setDataSet(Table* table)
{
    if (table == m_dataSet)
        return;
    if (m_dataSet)
        m_dataSet->detach(this);
    m_dataSet = table;
    if (m_dataSet)
        m_dataSet->attach(this);
    emit dataSetChanged();
}

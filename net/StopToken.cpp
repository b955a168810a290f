// The stop state's moves.
#include "net/StopToken.h"

StopState StopToken::press()
{
    StopState expected = StopState::None;
    if (m_state.compare_exchange_strong(expected, StopState::StopWaiting))
        return StopState::StopWaiting;
    m_state.store(StopState::Cut);
    return StopState::Cut;
}

void StopToken::stopWaiting()
{
    StopState expected = StopState::None;
    m_state.compare_exchange_strong(expected, StopState::StopWaiting);
}

void StopToken::cutNow(StopCause cause)
{
    // The cause first: whoever sees the cut sees why.
    m_cause.store(cause);
    m_state.store(StopState::Cut);
}

void StopToken::reset()
{
    m_state.store(StopState::None);
    m_cause.store(StopCause::User);
}

bool StopToken::waitsStopped() const
{
    const StopState now = state();
    return now == StopState::Cut || (now == StopState::StopWaiting && !inTransfer());
}

StopToken::Transfer::Transfer(StopToken& token)
    : m_token(token)
{
    ++m_token.m_transfers;
}

StopToken::Transfer::~Transfer()
{
    --m_token.m_transfers;
}

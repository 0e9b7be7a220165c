/*
 * interruption.h - an interrupted program leaves no half-written output.
 */
#ifndef ZEL_CLI_INTERRUPTION_H
#define ZEL_CLI_INTERRUPTION_H

/* Installs handlers for SIGINT, SIGTERM and SIGHUP (those not ignored) that
 * remove the pending outputs this process has open, then end it as the
 * signal would have. */
void remove_pending_outputs_on_interruption(void);

#endif /* ZEL_CLI_INTERRUPTION_H */

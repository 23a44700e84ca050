#!/usr/bin/env bash
# Sets up the PDF print queue that the end-to-end printing test prints through: installs
# CUPS and its PDF printer when missing, starts the CUPS daemon when it is not running,
# and adds the queue "KestrovaPDF" (jobs land as PDF files in $HOME/PDF).
# It never stops the run that calls it: when a step fails it says so, and the printing
# test then fails with the reason.
set -uo pipefail

queue=KestrovaPDF
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

bash "$(dirname "$0")/install-missing.sh" cups printer-driver-cups-pdf \
  || { echo "printqueue: cannot install CUPS; the CUPS printing test will fail"; exit 0; }

# "lpstat -r" succeeds whether or not the scheduler runs; only its words tell.
scheduler_running() { lpstat -r 2>/dev/null | grep -q "scheduler is running"; }

if ! scheduler_running; then
  $SUDO mkdir -p /run/cups
  $SUDO cupsd || { echo "printqueue: cupsd does not start; the CUPS printing test will fail"; exit 0; }
  for _ in $(seq 1 50); do scheduler_running && break; sleep 0.1; done
  scheduler_running || { echo "printqueue: cupsd started but does not answer; the CUPS printing test will fail"; exit 0; }
fi

if ! lpstat -p "$queue" >/dev/null 2>&1; then
  $SUDO lpadmin -p "$queue" -v cups-pdf:/ -E -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd \
    || echo "printqueue: cannot add the queue $queue; the CUPS printing test will fail"
fi
exit 0

#!/usr/bin/env bash
# Sets up the PDF print queue that the end-to-end printing test prints through: installs
# CUPS and its PDF printer when missing, starts the CUPS daemon when it is not running,
# and adds the queue "KestrovaPDF" (jobs land as PDF files in $HOME/PDF).
# Best effort: without it the printing test skips with a message.
set -uo pipefail

queue=KestrovaPDF
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

bash "$(dirname "$0")/install-missing.sh" cups printer-driver-cups-pdf \
  || { echo "printqueue: cannot install CUPS; the CUPS printing test will skip"; exit 0; }

if ! lpstat -r >/dev/null 2>&1; then
  $SUDO mkdir -p /run/cups
  $SUDO cupsd || { echo "printqueue: cupsd does not start; the CUPS printing test will skip"; exit 0; }
  for _ in $(seq 1 50); do lpstat -r >/dev/null 2>&1 && break; sleep 0.1; done
fi

if ! lpstat -p "$queue" >/dev/null 2>&1; then
  $SUDO lpadmin -p "$queue" -v cups-pdf:/ -E -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd \
    || echo "printqueue: cannot add the queue $queue; the CUPS printing test will skip"
fi
exit 0

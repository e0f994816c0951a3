"""Plays the Orvanta UI program against the host: codecs, the UI bridge client, orvanta.exe
under Wine, and the scripted or interactive VPN session."""

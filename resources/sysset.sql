-- Default settings row and device record.
insert into sysset (id, comport, ComSettings, BeepFreq, hisdatakeephours, HisDataSamplePeriod, httpport,
  HttpServerEnabled, PauseSeconds, retrytimes, Soundenabled, TimeOut, Userfname, MailAddr, MailEnabled,
  MailServeraddr, Mmfileurl, mobilephone, username, userPass, userpass2, usertelephone, usesoundcard,
  viewmode, AutoShutDown)
values (1, 1, '9600,N,8,1', 3000, 720, 60, 8080, 0, 3, 3, 1, 3, '', '', 0, '', '', '', '', '', '', '', 0,
  '0', 0);

insert into devices (id, devname, devaddr, DEVPOWER, TOTALPOWER, DEVCOMVERSION)
values ('001', 'PV-INV', 1, '3K', '1', '1');
